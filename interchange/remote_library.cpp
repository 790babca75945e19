#include "interchange/remote_library.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <cstring>
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

// The same remotes and keys, by name and code, as the file read back holds.
bool sameNames(const std::vector<LircRemote>& a, const std::vector<LircRemote>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const LircRemote& x, const LircRemote& y) {
                          return x.name == y.name && x.codes == y.codes && x.rawCodes == y.rawCodes;
                      });
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
    const QByteArray text = writeLircdConf(remotes, kPreamble);
    // Never a file that the next start could not read: it would lose every key it holds.
    if (text.size() > kMaxLircdConfBytes) {
        return QStringLiteral("the remote library would be larger than %1 MiB, more than is read "
                              "back, so it is not written")
            .arg(kMaxLircdConfBytes / (1024 * 1024));
    }
    std::vector<LircRemote> back;
    if (const auto error = readLircdConf(text, path_, back)) {
        return QStringLiteral("the remote library would not read back, so it is not written: %1")
            .arg(*error);
    }
    if (!sameNames(back, remotes)) {
        return QStringLiteral("a name would not read back as written, so the remote library is "
                              "not written");
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    QSaveFile file(path_);
    std::optional<QString> reason = openWholeFile(file);
    if (!reason) {
        reason = writeWhole(file, text);
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

std::optional<QString> RemoteLibrary::importFiles(const QStringList& files, QStringList* warnings) {
    std::vector<LircRemote> remotes = remotes_;
    for (const QString& file : files) {
        if (auto error = readLircdConfFile(file, remotes, warnings)) {
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
    const QString name = keyName(text);
    if (!name.isEmpty()) {
        if (const auto problem = lircNameProblem(name)) {
            return *problem;
        }
    }
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

QString RemoteLibrary::keyName(const QString& text) {
    return text.simplified().replace(QLatin1Char(' '), QLatin1Char('_'));
}

std::optional<QString> RemoteLibrary::keyNameProblem(const QString& text) {
    const QString name = keyName(text);
    return name.isEmpty() ? std::nullopt : lircNameProblem(name);
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

namespace {

// The line of a remote's comment that names its source, as the library file keeps it.
constexpr char kSourcePrefix[] = "Imported from ";

// The comment lines above each "begin remote" of a lircd.conf, in the order of the remotes.
std::vector<QString> commentsAboveRemotes(const QByteArray& text) {
    std::vector<QString> comments;
    QStringList pending;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('#')) {
            pending << QString::fromUtf8(line.mid(1).trimmed());
        } else if (line.simplified() == "begin remote") {
            comments.push_back(pending.join(QLatin1Char('\n')));
            pending.clear();
        } else if (!line.isEmpty()) {
            pending.clear();
        }
    }
    return comments;
}

QString libraryName(const QString& text) {
    return text.simplified().replace(QLatin1Char(' '), QLatin1Char('_'));
}

template <class Codes> std::vector<uint64_t> sortedValues(const Codes& codes) {
    std::vector<uint64_t> values;
    for (const LircCode& c : codes) {
        values.push_back(c.code);
        values.insert(values.end(), c.more.begin(), c.more.end());
    }
    std::sort(values.begin(), values.end());
    return values;
}

std::vector<std::vector<int>> sortedRaw(const std::vector<LircRawCode>& codes) {
    std::vector<std::vector<int>> raw;
    for (const LircRawCode& c : codes) {
        raw.push_back(c.durations);
    }
    std::sort(raw.begin(), raw.end());
    return raw;
}

// Two remotes that send the same signals: everything but the names and comments alike.
bool sameCodes(const LircRemote& a, const LircRemote& b) {
    LircRemote x = a;
    LircRemote y = b;
    for (LircRemote* r : {&x, &y}) {
        r->name.clear();
        r->comment.clear();
        r->codes.clear();
        r->rawCodes.clear();
    }
    return x == y && sortedValues(a.codes) == sortedValues(b.codes) &&
           sortedRaw(a.rawCodes) == sortedRaw(b.rawCodes);
}

} // namespace

std::optional<QString> RemoteLibrary::loadWithSources(const QString& path) {
    if (auto error = load(path)) {
        return error;
    }
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const std::vector<QString> comments = commentsAboveRemotes(file.readAll());
    for (std::size_t i = 0; i < remotes_.size() && i < comments.size(); ++i) {
        remotes_[i].comment = comments[i];
    }
    return std::nullopt;
}

QString RemoteLibrary::sourceOf(const LircRemote& remote) {
    for (const QString& line : remote.comment.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String(kSourcePrefix))) {
            return line.mid(static_cast<qsizetype>(std::strlen(kSourcePrefix)));
        }
    }
    return {};
}

std::optional<QString> RemoteLibrary::readRemoteFiles(const QStringList& files,
                                                      std::vector<LircRemote>& remotes,
                                                      QStringList* warnings) {
    std::vector<LircRemote> read;
    for (const QString& file : files) {
        const std::size_t first = read.size();
        if (auto error = readLircdConfFile(file, read, warnings)) {
            return error;
        }
        for (std::size_t i = first; i < read.size(); ++i) {
            read[i].comment = kSourcePrefix + QFileInfo(file).absoluteFilePath();
        }
    }
    remotes.insert(remotes.end(), read.begin(), read.end());
    return std::nullopt;
}

std::optional<std::size_t> RemoteLibrary::sameCodesAs(const LircRemote& remote) const {
    for (std::size_t i = 0; i < remotes_.size(); ++i) {
        if (sameCodes(remotes_[i], remote)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<QString> RemoteLibrary::addRemotes(std::vector<LircRemote> added) {
    std::vector<LircRemote> remotes = remotes_;
    for (LircRemote& r : added) {
        r.name = uniqueName(remotes, r.name);
        remotes.push_back(std::move(r));
    }
    return commit(std::move(remotes));
}

std::optional<QString> RemoteLibrary::renameRemote(std::size_t remote, const QString& text) {
    const QString name = libraryName(text);
    if (remote >= remotes_.size() || name.isEmpty()) {
        return QStringLiteral("a remote needs a name");
    }
    for (std::size_t i = 0; i < remotes_.size(); ++i) {
        if (i != remote && remotes_[i].name == name) {
            return QStringLiteral("the library already has a remote named %1").arg(name);
        }
    }
    std::vector<LircRemote> remotes = remotes_;
    remotes[remote].name = name;
    return commit(std::move(remotes));
}

std::optional<QString> RemoteLibrary::renameKey(std::size_t remote, std::size_t key, bool raw,
                                                const QString& text) {
    const QString name = libraryName(text);
    const LircRemote* r = remote < remotes_.size() ? &remotes_[remote] : nullptr;
    if (r == nullptr || key >= (raw ? r->rawCodes.size() : r->codes.size()) || name.isEmpty()) {
        return QStringLiteral("a key needs a name");
    }
    const auto named = [&](const auto& codes, bool rawCodes) {
        for (std::size_t i = 0; i < codes.size(); ++i) {
            if (codes[i].name == name && (rawCodes != raw || i != key)) {
                return true;
            }
        }
        return false;
    };
    if (named(r->codes, false) || named(r->rawCodes, true)) {
        return QStringLiteral("remote %1 already has a key named %2").arg(r->name, name);
    }
    std::vector<LircRemote> remotes = remotes_;
    (raw ? remotes[remote].rawCodes[key].name : remotes[remote].codes[key].name) = name;
    return commit(std::move(remotes));
}

std::optional<QString> RemoteLibrary::deleteRemote(std::size_t remote) {
    if (remote >= remotes_.size()) {
        return QStringLiteral("no such remote");
    }
    std::vector<LircRemote> remotes = remotes_;
    remotes.erase(remotes.begin() + static_cast<std::ptrdiff_t>(remote));
    return commit(std::move(remotes));
}

std::optional<QString> RemoteLibrary::deleteKey(std::size_t remote, std::size_t key, bool raw) {
    const LircRemote* r = remote < remotes_.size() ? &remotes_[remote] : nullptr;
    if (r == nullptr || key >= (raw ? r->rawCodes.size() : r->codes.size())) {
        return QStringLiteral("no such key");
    }
    std::vector<LircRemote> remotes = remotes_;
    LircRemote& changed = remotes[remote];
    if (raw) {
        changed.rawCodes.erase(changed.rawCodes.begin() + static_cast<std::ptrdiff_t>(key));
    } else {
        changed.codes.erase(changed.codes.begin() + static_cast<std::ptrdiff_t>(key));
    }
    if (changed.codes.empty() && changed.rawCodes.empty()) {
        remotes.erase(remotes.begin() + static_cast<std::ptrdiff_t>(remote));
    }
    return commit(std::move(remotes));
}

} // namespace velmoran::interchange
