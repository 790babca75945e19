// The lircd.conf reader and the remote library over any text. A text the reader takes is
// written and read back to the same remotes and keys; the library loads it from its file, names
// a key in it, and whatever it then wrote loads again (a library is never left unreadable). A
// text refused names its line.

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "interchange/lircd_conf.h"
#include "interchange/remote_library.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

bool sameKeys(const std::vector<LircRemote>& a, const std::vector<LircRemote>& b) {
    return std::equal(
        a.begin(), a.end(), b.begin(), b.end(), [](const LircRemote& x, const LircRemote& y) {
            return x.name == y.name && x.codes == y.codes && x.rawCodes == y.rawCodes &&
                   x.flags == y.flags && x.bits == y.bits && x.preDataBits == y.preDataBits;
        });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Include lines are resolved beside the file: in an empty folder of the harness's own.
    static QTemporaryDir dir;
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = dir.filePath(QStringLiteral("remotes.lircd.conf"));
    std::vector<LircRemote> remotes;
    if (const auto error = readLircdConf(text, path, remotes)) {
        if (!error->startsWith(path + QLatin1Char(':')) || !remotes.empty()) {
            std::abort();
        }
        return 0;
    }
    std::vector<LircRemote> again;
    if (readLircdConf(writeLircdConf(remotes), path, again) || !sameKeys(again, remotes)) {
        std::abort();
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()) {
        std::abort();
    }
    file.close();
    RemoteLibrary library;
    if (library.load(path) || library.remotes().size() != remotes.size()) {
        std::abort();
    }
    IrFrame frame;
    frame.protocol = IrProtocol::Unknown;
    frame.keyKnown = false;
    frame.durationsUs = {9000, -4500, 560, -560, 560};
    library.nameFrame(frame, QStringLiteral("KEY_FUZZ"));
    RemoteLibrary reloaded;
    if (reloaded.load(path)) {
        std::abort();
    }
    QFile::remove(path);
    return 0;
}
