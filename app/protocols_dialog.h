#pragma once

// 文件 ▸ 协议…: the user's own protocols file (one "NAME<TAB>IRP" a line, '#' comments) in a
// small editor. The line under the text says, as the user types, where the table cannot be read
// ("第 3 行第 32 列：expected )") or how many protocols it holds. 保存 writes the file whole,
// refuses while there are errors, and then lets the window decode again so the new protocols
// name frames at once.

#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velmoran {

// Appends the protocol `name` with `irp` to the user's protocols file at `path` (created with
// its folder when missing), writing it whole; the reason when it could not.
std::optional<QString> appendUserProtocol(const QString& path, const QString& name,
                                          const QString& irp);

class ProtocolsDialog : public QDialog {
    Q_OBJECT
public:
    // `saved` is called after the file has been written.
    ProtocolsDialog(QString path, std::function<void()> saved, QWidget* parent);

    QPlainTextEdit* editor() const { return editor_; }
    QLabel* status() const { return status_; }
    QPushButton* saveButton() const { return save_; }

    // Writes the editor's text; false (after telling why) when it has errors or cannot be written.
    bool save();

private:
    void check();

    QString path_;
    std::function<void()> saved_;
    QPlainTextEdit* editor_;
    QLabel* status_;
    QPushButton* save_;
    QStringList errors_;
};

} // namespace velmoran
