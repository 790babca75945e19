#include "app/form1.h"

#include <QFileInfo>

#include "acquisition/capture_session.h"
#include "core/texts.h"
#include "display/vb_scroll_bar.h"
#include "files/capture_file.h"
#include "files/common_dialog.h"
#include "files/message_box.h"

namespace velmoran {

namespace {

// A cancel once a file has been chosen leaves everything as it was; the old dialog reported the
// earlier name again, which silently reloaded or overwrote that file. A cancel before any choice
// goes on with the empty name and ends in the operation's message.
bool cancelledAfterEarlierChoice(const CommonDialog& dialog) {
    return dialog.Cancelled() && !dialog.FileName().isEmpty();
}

} // namespace

// Load: the three channel buffers from a capture file, then the rows at the current zoom and
// scroll position.
void Form1::Command1_Click() {
    CommonDialog1->setFilter(QString::fromUtf8(kIrdFilter));
    CommonDialog1->ShowOpen();
    if (cancelledAfterEarlierChoice(*CommonDialog1)) {
        return;
    }
    loadFile(CommonDialog1->FileName());
}

bool Form1::loadFile(const QString& path) {
    CommonDialog1->setFileName(path);
    if (!loadCaptureFile(path, ChannelData1, ChannelData2, ChannelData3).ok) {
        MsgBox(this, QString::fromUtf8(texts::kOpenFileError));
        return false;
    }
    ViewStart = HScroll1->Value();
    redrawRows(kBytesPerScrollUnit * ViewStart);
    refreshCursorTime();
    Q_EMIT fileLoaded(path);
    return true;
}

bool Form1::canLoad() const {
    return !Session->running();
}

// Save: the three channel buffers to a capture file; nothing changes on screen.
void Form1::Command3_Click() {
    CommonDialog1->setFilter(QString::fromUtf8(kIrdFilter));
    CommonDialog1->ShowSave();
    if (cancelledAfterEarlierChoice(*CommonDialog1)) {
        return;
    }
    const QString path = CommonDialog1->FileName();
    if (overwriteQuestion_ && QFileInfo(path).isFile() && !overwriteQuestion_(path)) {
        return;
    }
    if (!saveCaptureFile(path, ChannelData1, ChannelData2, ChannelData3).ok) {
        MsgBox(this, QString::fromUtf8(texts::kSaveFileError));
        return;
    }
    Q_EMIT fileSaved(path);
}

} // namespace velmoran
