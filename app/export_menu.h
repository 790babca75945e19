#pragma once

// 文件 ▸ 导出: one item per format of other tools, each writing the files velmoran-ird export
// writes for the same capture.

#include <QList>
#include <QObject>

#include <functional>

#include "interchange/exporters.h"
#include "interchange/lircd_export.h"

class QAction;
class QMenu;

namespace velmoran {

class Form1;

namespace interchange {
class FramesModel;
}

// The menu's items, as the help page lists them ("VCD 波形及 GTKWave 视图", …).
QStringList exportMenuTexts();

class ExportMenu : public QObject {
    Q_OBJECT
public:
    using OverwriteQuestion = std::function<bool(const QString& path)>;
    // Fills `menu`; `confirmOverwrite` is asked before an existing file is replaced.
    ExportMenu(Form1* form, QMenu* menu, OverwriteQuestion confirmOverwrite);

    const QList<QAction*>& actions() const { return actions_; }
    void setEnabled(bool enabled);
    // Where the lircd.conf and Pronto exports take their key names from.
    void setKeyNames(std::function<interchange::KeyNames()> keyNames) {
        keyNames_ = std::move(keyNames);
    }

    // The frames the infrared exports write: the frame list's, decoded once (not owned; without
    // one they decode the line with the built-in protocols).
    void setFramesModel(const interchange::FramesModel* frames) { frames_ = frames; }

    // Asks for a file name and exports the capture in `format` there.
    void exportAs(interchange::ExportFormat format);

Q_SIGNALS:
    // The capture was exported as `format` (the menu item's text) to `path`.
    void exported(const QString& format, const QString& path);

private:
    Form1* form_;
    OverwriteQuestion confirmOverwrite_;
    std::function<interchange::KeyNames()> keyNames_;
    const interchange::FramesModel* frames_ = nullptr;
    QString captureFile_; // the capture file last loaded or saved: never exported over
    QList<QAction*> actions_;
};

} // namespace velmoran
