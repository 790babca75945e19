#include "app/export_menu.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include <array>

#include "acquisition/block_receiver.h"
#include "app/form1.h"
#include "app/target_channel.h"
#include "core/channel_levels.h"
#include "core/texts.h"
#include "files/message_box.h"
#include "interchange/export_files.h"
#include "interchange/export_plan.h"
#include "interchange/frames_model.h"

namespace velmoran {

namespace {

using interchange::ExportFormat;

// How the menu shows a format (what the format is, interchange's table says).
struct ExportEntry {
    ExportFormat format;
    const char* objectName;
    const char* text;
    const char* nameFilter;
};

constexpr std::array kExportEntries{
    ExportEntry{ExportFormat::Vcd, "actionExportVcd", texts::kExportVcd, "VCD (*.vcd)"},
    ExportEntry{ExportFormat::Sigrok, "actionExportSr", texts::kExportSr, "sigrok (*.sr)"},
    ExportEntry{ExportFormat::Mode2, "actionExportMode2", texts::kExportMode2,
                "LIRC mode2 (*.mode2 *.txt)"},
    ExportEntry{ExportFormat::Csv, "actionExportCsv", texts::kExportCsv, "CSV (*.csv)"},
    ExportEntry{ExportFormat::Lircd, "actionExportLircd", texts::kExportLircd,
                "lircd.conf (*.lircd.conf *.conf)"},
    ExportEntry{ExportFormat::Pronto, "actionExportPronto", texts::kExportPronto, "Pronto (*.txt)"},
    ExportEntry{ExportFormat::C, "actionExportC", texts::kExportC, "C (*.c *.h)"},
};
static_assert(kExportEntries.size() == interchange::kExportFormats.size(),
              "every export format has its menu item");

const ExportEntry& entryFor(ExportFormat format) {
    for (const ExportEntry& e : kExportEntries) {
        if (e.format == format) {
            return e;
        }
    }
    return kExportEntries.front();
}

} // namespace

namespace {

// An item's text without its accelerator and ellipsis ("VCD 波形及 GTKWave 视图").
QString shownText(const ExportEntry& e) {
    QString text = texts::q(e.text);
    text.truncate(text.indexOf(QLatin1String("(&")));
    return text.replace(texts::q("，显示通道"), texts::q("（显示通道）"));
}

} // namespace

QStringList exportMenuTexts() {
    QStringList list;
    for (const ExportEntry& e : kExportEntries) {
        list << shownText(e);
    }
    return list;
}

ExportMenu::ExportMenu(Form1* form, QMenu* menu, OverwriteQuestion confirmOverwrite)
    : QObject(menu), form_(form), confirmOverwrite_(std::move(confirmOverwrite)) {
    for (const interchange::ExportFormatInfo& f : interchange::kExportFormats) {
        const ExportEntry& e = entryFor(f.format);
        QAction* a = menu->addAction(texts::q(e.text));
        a->setObjectName(QString::fromLatin1(e.objectName));
        const ExportFormat format = f.format;
        connect(a, &QAction::triggered, this, [this, format] { exportAs(format); });
        actions_ << a;
    }
    const auto remember = [this](const QString& path) { captureFile_ = path; };
    connect(form_, &Form1::fileLoaded, this, remember);
    connect(form_, &Form1::fileSaved, this, remember);
}

void ExportMenu::setEnabled(bool enabled) {
    for (QAction* a : actions_) {
        a->setEnabled(enabled);
    }
}

void ExportMenu::exportAs(ExportFormat format) {
    const ExportEntry& e = entryFor(format);
    const interchange::ExportFormatInfo& info = interchange::exportFormatInfo(format);
    // A format of one channel takes the one 显示通道 names; a text naming none is refused as a
    // capture refuses it, before any file is chosen.
    const QString channelText = form_->Combo1->currentText();
    const std::optional<int> named = namedChannel(channelText);
    if (info.oneChannel && !named) {
        MsgBox(form_->window(), noSuchChannelMessage(channelText));
        return;
    }
    QFileDialog dialog(form_->window(), texts::q(texts::kExportDialogTitle));
    dialog.setObjectName(QStringLiteral("ExportDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked below, as for 保存
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QString::fromUtf8(e.nameFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(info.suffix));
    dialog.setWindowModality(Qt::ApplicationModal);
    // Beside the capture loaded or saved last, named after it.
    if (!captureFile_.isEmpty()) {
        const QFileInfo capture(captureFile_);
        dialog.setDirectory(capture.absolutePath());
        dialog.selectFile(capture.completeBaseName() + QLatin1Char('.') +
                          QString::fromLatin1(info.suffix));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().constFirst();
    // The same rules as velmoran-ird's: nothing written replaces the capture file or the VCD.
    const interchange::ExportPlan plan = interchange::planExport(format, path, captureFile_);
    switch (plan.refusal) {
    case interchange::ExportRefusal::None:
        break;
    case interchange::ExportRefusal::OutputIsCapture:
        MsgBox(form_->window(), texts::q(texts::kExportOverCapture).arg(path));
        return;
    case interchange::ExportRefusal::ViewIsCapture:
        MsgBox(form_->window(), texts::q(texts::kExportViewOverCapture).arg(plan.viewPath));
        return;
    case interchange::ExportRefusal::ViewIsOutput:
        MsgBox(form_->window(), texts::q(texts::kExportViewOverVcd).arg(plan.viewPath));
        return;
    }
    if (QFileInfo(path).isFile() && confirmOverwrite_ && !confirmOverwrite_(path)) {
        return;
    }
    std::vector<interchange::ExportChannel> channels;
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        channels.emplace_back(ch, channelLevels(*form_->channel(ch)));
    }
    if (info.oneChannel) {
        channels = {channels[static_cast<std::size_t>(*named - 1)]};
        if (frames_ != nullptr) {
            channels.front().frames = frames_->frames(*named);
        }
    }
    std::vector<interchange::OutputFile> files = interchange::exportFiles(
        format, channels, path, keyNames_ ? keyNames_() : interchange::KeyNames{});
    // The VCD's view file may be one the user tuned in GTKWave (or a link someone planted): as
    // with velmoran-ird, it is kept unless the user says to replace it.
    const QString& viewPath = plan.viewPath;
    const bool keepView = plan.viewExists && (!confirmOverwrite_ || !confirmOverwrite_(viewPath));
    interchange::keepExistingView(files, plan, !keepView);
    if (const auto failure = interchange::replaceOutputFiles(files)) {
        MsgBox(form_->window(),
               texts::q(texts::kExportWriteError).arg(failure->path, failure->reason));
        return;
    }
    if (keepView) {
        MsgBox(form_->window(), texts::q(texts::kViewFileKept).arg(viewPath));
    }
    Q_EMIT exported(shownText(e), path);
}

} // namespace velmoran
