#include "interchange/remote_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "core/constants.h"
#include "core/whole_file.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_export.h"

namespace velmoran::interchange {

using namespace infrared;

namespace {

constexpr char kLibraryFile[] = "remotes.lircd.conf";
constexpr int kMaxCodeBits = 64;
constexpr int kPercent = 100;
constexpr double kLearnedGapUs = kIrBurstGapUs;
constexpr char kPreamble[] =
    "# Velmoran's remote library: remotes imported from lircd.conf files and keys named in\n"
    "# captures. LIRC reads it as it is; Velmoran rewrites it whenever a key is named.\n";

QString uniqueName(const std::vector<LircRemote>& remotes, const QString& base) {
    QString name = base;
    for (int n = 2; std::any_of(remotes.begin(), remotes.end(),
                                [&](const LircRemote& r) { return r.name == name; });
         ++n) {
        name = base + QLatin1Char('_') + QString::number(n);
    }
    return name;
}

// Two timings LIRC would take for each other within `a`'s tolerance.
bool close(const LircRemote& a, int x, int y) {
    return std::abs(x - y) <= std::max(a.aeps, std::max(x, y) * a.eps / kPercent);
}

bool close(const LircRemote& a, const LircPair& x, const LircPair& y) {
    return close(a, x.pulse, y.pulse) && close(a, x.space, y.space);
}

// The same remote but for its codes: the one a learned key joins (an analysed burst's timings
// are measured, so they differ a little from key to key).
bool sameTimings(const LircRemote& a, const LircRemote& b) {
    return a.flags == b.flags && a.bits == b.bits && close(a, a.header, b.header) &&
           close(a, a.one, b.one) && close(a, a.zero, b.zero) && close(a, a.plead, b.plead) &&
           close(a, a.ptrail, b.ptrail) && a.toggleBitMask == b.toggleBitMask &&
           a.rc6Mask == b.rc6Mask && a.preDataBits == b.preDataBits &&
           a.postDataBits == b.postDataBits && a.preData == b.preData && a.postData == b.postData;
}

// The remote of an analysed unknown frame's timings with its code, or nothing when the frame
// has no pulse-distance or pulse-width coding LIRC can send.
std::optional<std::pair<LircRemote, uint64_t>> analysedRemote(const IrFrame& f) {
    const IrAnalysis& a = f.analysis;
    const int bits = static_cast<int>(a.bits.size());
    if ((a.scheme != IrScheme::PulseDistance && a.scheme != IrScheme::PulseWidth) || bits <= 0 ||
        bits > kMaxCodeBits) {
        return std::nullopt;
    }
    LircRemote r;
    r.flags = kLircSpaceEnc;
    r.bits = bits;
    r.header = {a.headerMarkUs, a.headerSpaceUs};
    r.one = {a.oneMarkUs, a.oneSpaceUs};
    r.zero = {a.zeroMarkUs, a.zeroSpaceUs};
    r.ptrail = a.trailMarkUs;
    // LIRC wants at least the gap after a frame: the shortest the capture's bursts allow.
    r.gap =
        static_cast<int>(a.gapUs > 0 ? std::min<double>(a.gapUs, kLearnedGapUs) : kLearnedGapUs);
    r.name = QStringLiteral("Unknown_%1_%2bits")
                 .arg(a.scheme == IrScheme::PulseDistance ? QStringLiteral("PulseDistance")
                                                          : QStringLiteral("PulseWidth"))
                 .arg(bits);
    uint64_t code = 0;
    for (const bool b : a.bits) {
        code = code << 1 | (b ? 1u : 0u);
    }
    return std::pair{r, code};
}

LircRemote rawRemote() {
    LircRemote r;
    r.name = QStringLiteral("Unknown_raw");
    r.flags = kLircRawCodes;
    r.gap = static_cast<int>(kLearnedGapUs);
    return r;
}

} // namespace

RemoteLibrary::RemoteLibrary() : matcher_(std::make_unique<LircMatcher>(remotes_)) {}

RemoteLibrary::~RemoteLibrary() = default;

QString RemoteLibrary::defaultPath() {
    // The window's AppDataLocation, spelled out so that velmoran-ird (no application object,
    // other names) finds the same file.
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("%1/%2/%3")
                      .arg(QLatin1String(kOrganizationName), QLatin1String(kApplicationName),
                           QLatin1String(kLibraryFile)));
}

std::optional<QString> RemoteLibrary::load(const QString& path) {
    path_ = path;
    remotes_.clear();
    unreadable_.reset();
    if (QFileInfo::exists(path)) {
        unreadable_ = readLircdConfFile(path, remotes_);
        if (unreadable_) {
            remotes_.clear();
        }
    }
    matcher_ = std::make_unique<LircMatcher>(remotes_);
    return unreadable_;
}

std::optional<QString> RemoteLibrary::commit(std::vector<LircRemote> remotes) {
    if (unreadable_) {
        return QStringLiteral("the remote library %1 was not read, so it is not written: %2")
            .arg(path_, *unreadable_);
    }
    if (path_.isEmpty()) {
        return QStringLiteral("the remote library has no file");
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    std::optional<QString> reason = openWholeFile(file);
    if (!reason) {
        reason = writeWhole(file, writeLircdConf(remotes, kPreamble));
    }
    if (!reason) {
        reason = commitWhole(file);
    }
    if (reason) {
        return QStringLiteral("cannot write %1: %2").arg(path_, *reason);
    }
    remotes_ = std::move(remotes);
    matcher_ = std::make_unique<LircMatcher>(remotes_);
    return std::nullopt;
}

std::optional<QString> RemoteLibrary::importFiles(const QStringList& files) {
    std::vector<LircRemote> remotes = remotes_;
    for (const QString& file : files) {
        if (auto error = readLircdConfFile(file, remotes)) {
            return error;
        }
    }
    return commit(std::move(remotes));
}

std::optional<LircKey> RemoteLibrary::keyOf(const IrFrame& f) const {
    if (const LircMatch m = matcher_->match(f.durationsUs); m.key) {
        return m.key;
    }
    if (f.protocol == IrProtocol::Unknown || !f.keyKnown) {
        return std::nullopt;
    }
    // A NEC repeat code names the key it repeats.
    const QString name = remoteName(f);
    const uint64_t code = lircCodeOf(f);
    for (std::size_t r = 0; r < remotes_.size(); ++r) {
        const std::vector<LircCode>& codes = remotes_[r].codes;
        for (std::size_t c = 0; remotes_[r].name == name && c < codes.size(); ++c) {
            if ((codes[c].code & ~remotes_[r].toggleBitMask) == code) {
                return LircKey{static_cast<int>(r), static_cast<int>(c), false};
            }
        }
    }
    return std::nullopt;
}

std::optional<QString> RemoteLibrary::nameFrame(const IrFrame& f, const QString& text) {
    const QString name = text.simplified().replace(QLatin1Char(' '), QLatin1Char('_'));
    if (f.protocol != IrProtocol::Unknown && !f.keyKnown) {
        return QStringLiteral("the frame repeats a key that is not in the capture");
    }
    std::vector<LircRemote> remotes = remotes_;
    if (const std::optional<LircKey> key = keyOf(f)) {
        LircRemote& r = remotes[static_cast<std::size_t>(key->remote)];
        const auto c = static_cast<std::size_t>(key->code);
        if (!name.isEmpty()) {
            (key->raw ? r.rawCodes[c].name : r.codes[c].name) = name;
        } else {
            if (key->raw) {
                r.rawCodes.erase(r.rawCodes.begin() + key->code);
            } else {
                r.codes.erase(r.codes.begin() + key->code);
            }
            if (r.codes.empty() && r.rawCodes.empty()) {
                remotes.erase(remotes.begin() + key->remote);
            }
        }
        return commit(std::move(remotes));
    }
    if (name.isEmpty()) {
        return std::nullopt; // no key to clear
    }
    LircRemote remote;
    uint64_t code = 0;
    if (f.protocol != IrProtocol::Unknown) {
        remote = lircRemoteOf(f);
        code = lircCodeOf(f);
    } else if (auto analysed = analysedRemote(f)) {
        std::tie(remote, code) = *analysed;
    } else {
        remote = rawRemote();
    }
    auto it = std::find_if(remotes.begin(), remotes.end(), [&](const LircRemote& r) {
        return r.name.startsWith(remote.name) && sameTimings(r, remote);
    });
    if (it == remotes.end()) {
        remote.name = uniqueName(remotes, remote.name);
        remotes.push_back(remote);
        it = remotes.end() - 1;
    }
    if ((it->flags & kLircRawCodes) != 0) {
        std::vector<int> durations;
        for (const int32_t d : f.durationsUs) {
            durations.push_back(std::abs(d));
        }
        it->rawCodes.push_back({name, durations});
    } else {
        it->codes.push_back({name, code, {}});
    }
    return commit(std::move(remotes));
}

LibraryKey RemoteLibrary::named(const LircKey& key) const {
    const LircRemote& r = remotes_[static_cast<std::size_t>(key.remote)];
    const auto c = static_cast<std::size_t>(key.code);
    return {r.name, key.raw ? r.rawCodes[c].name : r.codes[c].name};
}

std::vector<std::optional<LibraryKey>>
RemoteLibrary::lookup(const std::vector<IrFrame>& frames) const {
    std::vector<std::optional<LibraryKey>> out;
    out.reserve(frames.size());
    for (const std::optional<LircKey>& key : matcher_->matchFrames(frames)) {
        out.push_back(key ? std::optional<LibraryKey>(named(*key)) : std::nullopt);
    }
    return out;
}

std::optional<LibraryKey> RemoteLibrary::lookup(const IrFrame& frame) const {
    const std::optional<LircKey> key = keyOf(frame);
    return key ? std::optional<LibraryKey>(named(*key)) : std::nullopt;
}

} // namespace velmoran::interchange
