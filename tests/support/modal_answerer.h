#pragma once

// Answers the modal dialogs a handler opens, in order, as a person would: each file dialog gets
// the next scripted answer (a typed path, or a cancel; unscripted ones are cancelled), each
// question the next scripted button (No when none is left), each message box its OK button.
// Everything seen is kept: what it said, its title, its width, its buttons and labels. Polls
// QApplication::activeModalWidget() from a timer.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <deque>
#include <vector>

namespace velmoran::test {

// A modal window as it was met.
struct SeenModal {
    QString kind; // "file", "question" or "message"
    QString title;
    QString text;
    int width = 0;
    QStringList buttons;
    QStringList labels;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class ModalAnswerer {
public:
    struct SeenDialog {
        QFileDialog::AcceptMode mode;
        QStringList nameFilters;
        QString startFile; // the file the dialog offered when it opened
        bool native;
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
    // The next question (a box with Yes): `button`.
    void answer(QMessageBox::StandardButton button) { questions_.push_back(button); }

    // Every modal window met, in order.
    const std::vector<SeenModal>& seen() const { return seen_; }
    const std::vector<SeenDialog>& dialogs() const { return dialogs_; }
    // The message boxes (questions apart).
    const std::vector<SeenModal>& messages() const { return messages_; }
    // Their texts.
    QStringList messageTexts() const { return textsOf(QStringLiteral("message")); }
    // The texts of the questions asked.
    QStringList questions() const { return textsOf(QStringLiteral("question")); }
    bool allAnswered() const { return answers_.empty() && questions_.empty(); }
    void clear() {
        dialogs_.clear();
        seen_.clear();
        messages_.clear();
    }

private:
    enum class Kind { Choose, ChooseAsIs, Cancel };
    struct Answer {
        Kind kind;
        QString path;
    };

    QStringList textsOf(const QString& kind) const {
        QStringList list;
        for (const SeenModal& m : seen_) {
            if (m.kind == kind) {
                list << m.text;
            }
        }
        return list;
    }

    static SeenModal look(QWidget* modal) {
        SeenModal s;
        s.title = modal->windowTitle();
        s.width = modal->width();
        for (auto* b : modal->findChildren<QAbstractButton*>()) {
            if (b->isVisible() && !b->text().isEmpty()) {
                s.buttons << b->text();
            }
        }
        for (auto* l : modal->findChildren<QLabel*>()) {
            if (l->isVisible() && !l->text().isEmpty()) {
                s.labels << l->text();
            }
        }
        return s;
    }

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && dialog->isVisible()) {
            SeenModal s = look(dialog);
            s.kind = QStringLiteral("file");
            seen_.push_back(s);
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
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(answer.path);
            // Through QDialog: the file dialog's own overrides are protected but still run.
            QDialog* asDialog = dialog;
            if (answer.kind == Kind::Choose) {
                asDialog->accept(); // with the dialog's checks: a folder would be entered
            } else {
                asDialog->done(QDialog::Accepted);
            }
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->isVisible()) {
            SeenModal s = look(box);
            s.text = box->text();
            s.icon = box->icon();
            if (box->button(QMessageBox::Yes) != nullptr) {
                s.kind = QStringLiteral("question");
                const QMessageBox::StandardButton b =
                    questions_.empty() ? QMessageBox::No : questions_.front();
                if (!questions_.empty()) {
                    questions_.pop_front();
                }
                seen_.push_back(s);
                box->button(b)->click();
            } else {
                s.kind = QStringLiteral("message");
                seen_.push_back(s);
                messages_.push_back(s);
                box->button(QMessageBox::Ok)->click();
            }
        }
    }

    QTimer timer_;
    std::deque<Answer> answers_;
    std::deque<QMessageBox::StandardButton> questions_;
    std::vector<SeenDialog> dialogs_;
    std::vector<SeenModal> seen_;
    std::vector<SeenModal> messages_;
};

} // namespace velmoran::test
