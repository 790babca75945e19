#pragma once

// 文件 ▸ 最近打开的文件: the files last loaded or saved, newest first, kept in the settings.

#include <QObject>
#include <QStringList>

class QMenu;
class QWidget;

namespace velmoran {

class RecentFiles : public QObject {
    Q_OBJECT
public:
    static constexpr int kCount = 6;

    // Fills `menu`; messages about missing files go to `messageParent`.
    RecentFiles(QMenu* menu, QWidget* messageParent);

    // The files, newest first.
    QStringList files() const;
    // Puts `path` first.
    void remember(const QString& path);
    // Enables or disables the file items (off during a capture, as 载入 is).
    void setEnabled(bool enabled);

Q_SIGNALS:
    // A file of the list that still exists was chosen.
    void openRequested(const QString& path);

private:
    void fill();
    void open(const QString& path);

    QMenu* menu_;
    QWidget* messageParent_;
    bool enabled_ = true;
};

} // namespace velmoran
