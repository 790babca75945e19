#include "app/capture_importer.h"

#include <QComboBox>
#include <QFileDialog>

#include "app/form1.h"
#include "app/target_channel.h"
#include "core/texts.h"
#include "display/vb_scroll_bar.h"
#include "files/message_box.h"
#include "interchange/capture_import.h"

namespace velmoran {

namespace {

// Every file first: LIRC's recordings often have no suffix (irsimsend's simsend.out).
const char* const kImportFilters[] = {
    "LIRC mode2 (*.mode2 *.out *.txt)",
    "Pronto (*.txt *.pronto *.hex)",
    "CSV (*.csv)",
    "VCD (*.vcd)",
    "sigrok (*.sr)",
};

} // namespace

CaptureImporter::CaptureImporter(Form1* form, QObject* parent) : QObject(parent), form_(form) {}

void CaptureImporter::chooseFile() {
    // A text naming no channel is refused as a capture refuses it, before any file is chosen.
    const QString channelText = form_->Combo1->currentText();
    if (!namedChannel(channelText)) {
        MsgBox(form_->window(), noSuchChannelMessage(channelText));
        return;
    }
    QFileDialog dialog(form_->window(), texts::q(texts::kImportCaptureTitle));
    dialog.setObjectName(QStringLiteral("ImportCaptureDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    QStringList filters{texts::q(texts::kAllFilesFilter)};
    for (const char* f : kImportFilters) {
        filters << QString::fromUtf8(f);
    }
    dialog.setNameFilters(filters);
    if (!lastFile_.isEmpty()) {
        dialog.selectFile(lastFile_);
    }
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    importFile(dialog.selectedFiles().constFirst());
}

bool CaptureImporter::importFile(const QString& path) {
    lastFile_ = path;
    const QString channelText = form_->Combo1->currentText();
    const std::optional<int> channel = namedChannel(channelText);
    if (!channel) {
        MsgBox(form_->window(), noSuchChannelMessage(channelText));
        return false;
    }
    const interchange::ImportedCapture got = interchange::importCaptureFile(path);
    if (!got.line) {
        MsgBox(form_->window(), texts::q(texts::kImportCaptureError).arg(*channel).arg(got.error));
        return false;
    }
    *form_->channel(*channel) = interchange::channelBufferOf(*got.line);
    form_->ViewStart = form_->HScroll1->Value();
    form_->redrawRows(kBytesPerScrollUnit * form_->ViewStart);
    Q_EMIT imported(path, *channel);
    return true;
}

} // namespace velmoran
