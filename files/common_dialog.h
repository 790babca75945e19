#pragma once

// CommonDialog1: the one file dialog that serves both the load and the save button. Like the old
// control it keeps the last file name chosen with either operation and starts from it next time;
// unlike it, it also tells whether the last dialog was cancelled.

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

namespace velmoran {

// The filter both buttons set: one file type, capture files.
inline constexpr char kIrdFilter[] = "Ird文件|*.ird";

// A filter in the old "description|patterns|description|patterns" form as Qt name filters:
// "Ird文件|*.ird" gives "Ird文件 (*.ird)"; patterns separated by ';' become space-separated.
QStringList nameFiltersFromVbFilter(const QString& vbFilter);

class CommonDialog : public QObject {
    Q_OBJECT
public:
    // `owner`: the window the modal dialogs are centred over.
    explicit CommonDialog(QWidget* owner);

    QString Filter() const { return filter_; }
    void setFilter(const QString& vbFilter) { filter_ = vbFilter; }

    // Full path of the file chosen last, by either dialog; empty until the first choice.
    QString FileName() const { return fileName_; }
    void setFileName(const QString& path) { fileName_ = path; }

    // Modal open / save dialogs; each returns once the dialog has closed. A cancel leaves
    // FileName as it was.
    void ShowOpen();
    void ShowSave();

    // Whether the last ShowOpen or ShowSave was closed without choosing a file.
    bool Cancelled() const { return cancelled_; }

private:
    void show(bool save);

    QWidget* owner_;
    QString filter_;
    QString fileName_;
    bool cancelled_ = false;
};

} // namespace velmoran
