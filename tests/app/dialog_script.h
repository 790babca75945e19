#pragma once

// Answers the main window's modal dialogs in order, as a person would: a file dialog gets a
// typed path, a question Yes or No, a message box OK (its text is kept). Polls
// QApplication::activeModalWidget() from a timer.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>

namespace velmoran::test {

class DialogScript {
public:
    DialogScript() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start();
    }

    // The next file dialog: `path` typed in and accepted.
    void choose(const QString& path) { files_.push_back(path); }
    // The next question: Yes or No.
    void answer(QMessageBox::StandardButton button) { questions_.push_back(button); }

    QStringList messages() const { return messages_; }
    QStringList questions() const { return asked_; }
    bool done() const { return files_.empty() && questions_.empty(); }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && dialog->isVisible()) {
            if (files_.empty()) {
                dialog->reject();
                return;
            }
            for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
                if (view->selectionModel() != nullptr) {
                    view->selectionModel()->clearSelection();
                }
            }
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(files_.front());
            files_.pop_front();
            QDialog* asDialog = dialog;
            asDialog->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
            if (box->button(QMessageBox::Yes) != nullptr) {
                asked_ << box->text();
                const QMessageBox::StandardButton b =
                    questions_.empty() ? QMessageBox::No : questions_.front();
                if (!questions_.empty()) {
                    questions_.pop_front();
                }
                box->button(b)->click();
            } else {
                messages_ << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        }
    }

    QTimer timer_;
    std::deque<QString> files_;
    std::deque<QMessageBox::StandardButton> questions_;
    QStringList messages_;
    QStringList asked_;
};

} // namespace velmoran::test
