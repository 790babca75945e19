#pragma once

// Answers the modal dialogs the main window opens while a handler runs: each file dialog gets
// the next scripted answer (a typed path, or a cancel), each message box is read and closed with
// its OK button. Polls QApplication::activeModalWidget() from a timer, as a person would act.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <vector>

namespace velmoran::test {

class ModalAnswerer {
public:
    struct SeenDialog {
        QFileDialog::AcceptMode mode;
        QStringList nameFilters;
        QString startFile; // the file the dialog offered when it opened
        bool native;
    };
    struct SeenMessage {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        int buttons;
    };

    ModalAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { poll(); });
        timer_.start();
    }

    // Types `path` into the next file dialog and accepts it.
    void choose(const QString& path) { answers_.push_back({Kind::Choose, path}); }
    // Closes the next file dialog as accepted with `path` typed in, without the dialog's own
    // checks (a dialog that returns a folder, as some desktop choosers can).
    void chooseAsIs(const QString& path) { answers_.push_back({Kind::ChooseAsIs, path}); }
    // Cancels the next file dialog.
    void cancel() { answers_.push_back({Kind::Cancel, {}}); }

    const std::vector<SeenDialog>& dialogs() const { return dialogs_; }
    const std::vector<SeenMessage>& messages() const { return messages_; }
    QStringList messageTexts() const {
        QStringList texts;
        for (const SeenMessage& m : messages_) {
            texts << m.text;
        }
        return texts;
    }
    bool allAnswered() const { return answers_.empty(); }
    void clear() {
        dialogs_.clear();
        messages_.clear();
    }

private:
    enum class Kind { Choose, ChooseAsIs, Cancel };
    struct Answer {
        Kind kind;
        QString path;
    };

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && dialog->isVisible()) {
            const QStringList start = dialog->selectedFiles();
            dialogs_.push_back({dialog->acceptMode(), dialog->nameFilters(),
                                start.isEmpty() ? QString() : start.constFirst(),
                                !dialog->testOption(QFileDialog::DontUseNativeDialog)});
            if (answers_.empty()) {
                dialog->reject(); // unscripted: never leave a test hanging
                return;
            }
            const Answer answer = answers_.front();
            answers_.pop_front();
            if (answer.kind == Kind::Cancel) {
                dialog->reject();
                return;
            }
            // Typing into the name field drops the file the dialog had selected (it does so
            // only while the field has the focus, which a headless window may not give it).
            for (auto* view : dialog->findChildren<QAbstractItemView*>()) {
                if (view->selectionModel() != nullptr) {
                    view->selectionModel()->clearSelection();
                }
            }
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            edit->setText(answer.path);
            // Through QDialog: the file dialog's own overrides are protected but still run.
            QDialog* asDialog = dialog;
            if (answer.kind == Kind::Choose) {
                asDialog->accept(); // with the dialog's checks: a folder would be entered
            } else {
                asDialog->done(QDialog::Accepted);
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
            messages_.push_back({box->text(), box->windowTitle(), box->icon(),
                                 static_cast<int>(box->buttons().size())});
            box->button(QMessageBox::Ok)->click();
        }
    }

    QTimer timer_;
    std::deque<Answer> answers_;
    std::vector<SeenDialog> dialogs_;
    std::vector<SeenMessage> messages_;
};

} // namespace velmoran::test
