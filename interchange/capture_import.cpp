#include "interchange/capture_import.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "core/whole_file.h"
#include "interchange/pronto.h"

namespace velmoran::interchange {

namespace {

// Times are counted in femtoseconds: a sample is a whole number of them, and 20.39 s is far
// from the 64-bit limit.
constexpr int64_t kFsPerUs = 1000000000;
constexpr int64_t kSamplePeriodFs = kSamplePeriod100ps * 100000;
// Further than any capture: times beyond it are all "past the end", and sums stop there.
constexpr int64_t kFarFs = int64_t{100} * kCaptureSamples * kSamplePeriodFs;
// LIRC's mode2 says 16777215 µs (0xFFFFFF) for "longer than it can count".
constexpr int64_t kMode2LongestUs = 0xFFFFFF;
constexpr char kCsvHeader[] = "time_us,channel,level";
constexpr char kZipLocalSignature[] = "PK\x03\x04";

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int64_t sampleOf(int64_t fs) {
    return (fs + kSamplePeriodFs / 2) / kSamplePeriodFs;
}

int64_t addFs(int64_t a, int64_t b) {
    return std::min(kFarFs, a + std::min(b, kFarFs));
}

int64_t usToFs(double us) {
    return us >= static_cast<double>(kFarFs / kFsPerUs) ? kFarFs
                                                        : std::llround(us * double(kFsPerUs));
}

QString located(const QString& file, int line, const QString& reason) {
    return line > 0 ? QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(reason)
                    : QStringLiteral("%1: %2").arg(file, reason);
}

QString pastTheEnd(int64_t fs) {
    return QStringLiteral("the signal goes on past the capture's %1 s (a change at %2 s): a "
                          "capture holds at most %1 s")
        .arg(static_cast<double>(kCaptureSamples * kSamplePeriodFs) / 1e15, 0, 'f', 2)
        .arg(static_cast<double>(fs) / 1e15, 0, 'f', 3);
}

// The line as the changes of level build it, in samples: two changes within one sample cancel,
// as the board would not see the level between them.
class LineBuilder {
public:
    explicit LineBuilder(bool initialHigh) : level_(initialHigh) {
        line_.initialHigh = initialHigh;
    }
    // The level `high` from sample `at` on; false when that lies past the capture's end (a
    // change right at its end changes nothing the capture holds).
    bool set(int64_t at, bool high) {
        if (high == level_) {
            return true;
        }
        if (at > kCaptureSamples) {
            return false;
        }
        level_ = high;
        if (at == kCaptureSamples) {
            return true;
        }
        if (at <= 0) {
            line_.initialHigh = high;
        } else if (!line_.edges.empty() && line_.edges.back() >= at) {
            line_.edges.pop_back();
        } else {
            line_.edges.push_back(static_cast<int32_t>(at));
        }
        return true;
    }
    ChannelLevels take() { return std::move(line_); }

private:
    ChannelLevels line_;
    bool level_;
};

// A change of level at a time, and the line of the file that made it.
struct Change {
    int64_t fs;
    bool high;
    int line;
};

ImportedCapture build(const QString& file, bool initialHigh, const std::vector<Change>& changes) {
    LineBuilder builder(initialHigh);
    for (const Change& c : changes) {
        if (!builder.set(sampleOf(c.fs), c.high)) {
            return {std::nullopt, located(file, c.line, pastTheEnd(c.fs))};
        }
    }
    return {builder.take(), {}};
}

ImportedCapture failed(const QString& file, int line, const QString& reason) {
    return {std::nullopt, located(file, line, reason)};
}

// A whole decimal number of at most `digits` digits.
std::optional<int64_t> wholeNumber(QByteArrayView text, int digits = 12) {
    if (text.isEmpty() || text.size() > digits) {
        return std::nullopt;
    }
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

// Microseconds written with decimals ("401.474"), in femtoseconds (decimals past the
// femtosecond dropped).
std::optional<int64_t> decimalUsToFs(QByteArrayView text) {
    const qsizetype dot = text.indexOf('.');
    const QByteArrayView whole = dot < 0 ? text : text.first(dot);
    const std::optional<int64_t> us = wholeNumber(whole);
    if (!us) {
        return std::nullopt;
    }
    int64_t fraction = 0;
    int64_t scale = kFsPerUs;
    if (dot >= 0) {
        const QByteArrayView decimals = text.sliced(dot + 1);
        if (decimals.isEmpty()) {
            return std::nullopt;
        }
        for (const char c : decimals) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            if (scale > 1) {
                scale /= 10;
                fraction += (c - '0') * scale;
            }
        }
    }
    return addFs(*us >= kFarFs / kFsPerUs ? kFarFs : *us * kFsPerUs, fraction);
}

std::vector<QByteArray> linesOf(const QByteArray& bytes) {
    std::vector<QByteArray> lines;
    for (const QByteArray& l : bytes.split('\n')) {
        lines.push_back(l.endsWith('\r') ? l.chopped(1) : l);
    }
    return lines;
}

// mode2: "pulse N" / "space N" (and "timeout N", a space) lines, or bare numbers that alternate
// from a pulse on; the banner lines mode2 prints before the data are passed over.
ImportedCapture readMode2(const QByteArray& bytes, const QString& file) {
    struct Run {
        int64_t us;
        bool mark;
        int line;
    };
    std::vector<Run> runs;
    std::optional<bool> bare;
    int lineNumber = 0;
    std::vector<QByteArrayView> words;
    // Views into the text, no copies: a recording of a whole capture has up to half a million
    // lines.
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype next = bytes.indexOf('\n', at);
        next = next < 0 ? bytes.size() : next;
        const QByteArrayView text = QByteArrayView(bytes).sliced(at, next - at).trimmed();
        at = next + 1;
        ++lineNumber;
        if (text.isEmpty() || text.startsWith('#')) {
            continue;
        }
        if (runs.empty() && (text.startsWith("Using driver") || text.startsWith("Using device") ||
                             text.startsWith("Trying device"))) {
            continue;
        }
        words.clear();
        for (qsizetype w = 0; w < text.size();) {
            while (w < text.size() && (text[w] == ' ' || text[w] == '\t')) {
                ++w;
            }
            qsizetype end = w;
            while (end < text.size() && text[end] != ' ' && text[end] != '\t') {
                ++end;
            }
            if (end > w) {
                words.push_back(text.sliced(w, end - w));
            }
            w = end;
        }
        const bool numbers = words.front().front() >= '0' && words.front().front() <= '9';
        if (bare && *bare != numbers) {
            return failed(file, lineNumber,
                          QStringLiteral("\"%1\": pulse/space lines and bare numbers are mixed")
                              .arg(QString::fromUtf8(text)));
        }
        bare = numbers;
        const auto duration = [&](QByteArrayView word) -> std::optional<int64_t> {
            const std::optional<int64_t> us = wholeNumber(word, 9);
            return us && *us > 0 ? us : std::nullopt;
        };
        const auto noDuration = [&](QByteArrayView word) {
            return failed(
                file, lineNumber,
                QStringLiteral("\"%1\" is no duration in µs").arg(QString::fromUtf8(word)));
        };
        if (numbers) {
            for (const QByteArrayView w : words) {
                const std::optional<int64_t> us = duration(w);
                if (!us) {
                    return noDuration(w);
                }
                runs.push_back({*us, runs.size() % 2 == 0, lineNumber});
            }
            continue;
        }
        const bool pulse = words.front() == "pulse";
        if (words.size() != 2 ||
            (!pulse && words.front() != "space" && words.front() != "timeout")) {
            return failed(file, lineNumber,
                          QStringLiteral("\"%1\" is no mode2 line (pulse N or space N)")
                              .arg(QString::fromUtf8(text)));
        }
        const std::optional<int64_t> us = duration(words[1]);
        if (!us) {
            return noDuration(words[1]);
        }
        if (!runs.empty() && runs.back().mark == pulse) {
            // LIRC may report one level in parts.
            runs.back().us = std::min(runs.back().us + *us, kFarFs / kFsPerUs);
        } else {
            runs.push_back({*us, pulse, lineNumber});
        }
    }
    if (runs.empty()) {
        return failed(file, 0, QStringLiteral("no pulse or space in it: not a mode2 recording"));
    }
    const int64_t captureUs = sampleTimeUsRounded(kCaptureSamples);
    const auto leadInUs = static_cast<int64_t>(kImportLeadInUs);
    if (runs.size() > 1 && !runs.front().mark &&
        (runs.front().us == kMode2LongestUs || runs.front().us > captureUs)) {
        runs.front().us = leadInUs; // the idle line before the recording
    }
    int64_t totalUs = 0;
    for (const Run& r : runs) {
        totalUs = std::min(totalUs + r.us, kFarFs / kFsPerUs);
    }
    int64_t t = 0;
    if (runs.front().mark && totalUs + leadInUs <= captureUs) {
        t = leadInUs * kFsPerUs;
    }
    std::vector<Change> changes;
    for (const Run& r : runs) {
        changes.push_back({t, !r.mark, r.line});
        t = addFs(t, r.us * kFsPerUs);
    }
    if (runs.back().mark) {
        changes.push_back({t, true, runs.back().line}); // the line rests high after
    }
    return build(file, true, changes);
}

// Learned Pronto codes, one after the other (a code may span lines; '#' starts a comment):
// each sends its once part, or its repeat part when it has no once part.
ImportedCapture readPronto(const QByteArray& bytes, const QString& file) {
    struct Word {
        QByteArray text;
        int line;
    };
    std::vector<Word> words;
    int lineNumber = 0;
    for (const QByteArray& raw : linesOf(bytes)) {
        ++lineNumber;
        QByteArray text = raw;
        if (const qsizetype hash = text.indexOf('#'); hash >= 0) {
            text.truncate(hash);
        }
        for (const QByteArray& w : text.simplified().split(' ')) {
            if (w.isEmpty()) {
                continue;
            }
            if (w.size() != 4 || !std::all_of(w.begin(), w.end(), isHexDigit)) {
                return failed(file, lineNumber,
                              QStringLiteral("\"%1\" is no word of a Pronto code (four hex digits)")
                                  .arg(QString::fromUtf8(w)));
            }
            words.push_back({w, lineNumber});
        }
    }
    if (words.empty()) {
        return failed(file, 0, QStringLiteral("no Pronto code in it"));
    }
    std::vector<Change> changes;
    int64_t t = usToFs(kImportLeadInUs);
    constexpr std::size_t kHeaderWords = 4;
    for (std::size_t i = 0; i < words.size();) {
        const int line = words[i].line;
        if (words[i].text != "0000") {
            return failed(
                file, line,
                QStringLiteral("a code of the form %1: only learned codes (0000) are read")
                    .arg(QString::fromUtf8(words[i].text)));
        }
        if (i + kHeaderWords > words.size()) {
            return failed(file, line, QStringLiteral("the code ends inside its header"));
        }
        const std::size_t once = words[i + 2].text.toUInt(nullptr, 16);
        const std::size_t repeat = words[i + 3].text.toUInt(nullptr, 16);
        const std::size_t length = kHeaderWords + 2 * (once + repeat);
        if (once + repeat == 0 || i + length > words.size()) {
            return failed(
                file, line,
                QStringLiteral("the code counts %1 pairs but %2 follow")
                    .arg(once + repeat)
                    .arg((words.size() - i - std::min(words.size() - i, kHeaderWords)) / 2));
        }
        QStringList code;
        for (std::size_t k = i; k < i + length; ++k) {
            code << QString::fromLatin1(words[k].text);
        }
        const std::optional<std::vector<double>> durations =
            prontoDurations(code.join(QLatin1Char(' ')), once > 0 ? 0 : 1);
        if (!durations) {
            return failed(file, line, QStringLiteral("not a learned Pronto code (carrier 0000)"));
        }
        for (const double d : *durations) {
            changes.push_back({t, d < 0, line});
            t = addFs(t, usToFs(std::abs(d)));
        }
        changes.push_back({t, true, line});
        i += length;
    }
    return build(file, true, changes);
}

// The CSV of edges: its header, then "time_us,channel,level" rows of one channel in time order.
ImportedCapture readCsv(const QByteArray& bytes, const QString& file) {
    int lineNumber = 0;
    bool header = false;
    std::optional<QByteArray> channel;
    std::optional<bool> initial;
    std::vector<Change> changes;
    int64_t last = 0;
    for (const QByteArray& raw : linesOf(bytes)) {
        ++lineNumber;
        const QByteArray text = raw.trimmed();
        if (text.isEmpty()) {
            continue;
        }
        if (!header) {
            if (text != kCsvHeader) {
                return failed(file, lineNumber,
                              QStringLiteral("the first line is not the header %1")
                                  .arg(QLatin1String(kCsvHeader)));
            }
            header = true;
            continue;
        }
        const QList<QByteArray> cells = text.split(',');
        const int64_t fs =
            cells.size() == 3 ? decimalUsToFs(cells[0].trimmed()).value_or(-1) : int64_t{-1};
        const QByteArray level = cells.size() == 3 ? cells[2].trimmed() : QByteArray();
        if (fs < 0 || (level != "0" && level != "1") || cells[1].trimmed().isEmpty()) {
            return failed(file, lineNumber,
                          QStringLiteral("\"%1\" is no row of time_us,channel,level (level 0 or 1)")
                              .arg(QString::fromUtf8(text)));
        }
        if (channel && *channel != cells[1].trimmed()) {
            return failed(
                file, lineNumber,
                QStringLiteral("a second signal (channel %1 after %2): an import takes "
                               "one signal, export one channel")
                    .arg(QString::fromUtf8(cells[1].trimmed()), QString::fromUtf8(*channel)));
        }
        channel = cells[1].trimmed();
        if (fs < last) {
            return failed(file, lineNumber, QStringLiteral("the time goes back"));
        }
        last = fs;
        const bool high = level == "1";
        if (!initial) {
            initial = fs == 0 ? high : !high;
        }
        changes.push_back({fs, high, lineNumber});
    }
    if (!initial) {
        return failed(file, 0, QStringLiteral("no rows in it"));
    }
    return build(file, *initial, changes);
}

// The VCD of one 1-bit signal: its header ($timescale, one $var), then times and changes.
ImportedCapture readVcd(const QByteArray& bytes, const QString& file) {
    struct Token {
        QByteArray text;
        int line;
    };
    std::vector<Token> tokens;
    int lineNumber = 0;
    for (const QByteArray& raw : linesOf(bytes)) {
        ++lineNumber;
        for (const QByteArray& w : raw.simplified().split(' ')) {
            if (!w.isEmpty()) {
                tokens.push_back({w, lineNumber});
            }
        }
    }
    int64_t fsPerTick = 0;
    std::optional<QByteArray> id;
    std::size_t i = 0;
    // The words of a $keyword … $end section.
    const auto section = [&](std::vector<Token>& body) {
        body.clear();
        for (++i; i < tokens.size() && tokens[i].text != "$end"; ++i) {
            body.push_back(tokens[i]);
        }
        const bool closed = i < tokens.size();
        ++i;
        return closed;
    };
    std::vector<Token> body;
    bool definitions = false;
    while (i < tokens.size() && !definitions) {
        const Token keyword = tokens[i];
        if (!keyword.text.startsWith('$')) {
            return failed(file, keyword.line,
                          QStringLiteral("\"%1\" before $enddefinitions")
                              .arg(QString::fromUtf8(keyword.text)));
        }
        if (!section(body)) {
            return failed(file, keyword.line,
                          QStringLiteral("%1 has no $end").arg(QString::fromUtf8(keyword.text)));
        }
        if (keyword.text == "$timescale") {
            QByteArray scale;
            for (const Token& t : body) {
                scale += t.text;
            }
            qsizetype digits = 0;
            while (digits < scale.size() && scale[digits] >= '0' && scale[digits] <= '9') {
                ++digits;
            }
            const std::optional<int64_t> n = wholeNumber(scale.first(digits), 3);
            static const QMap<QByteArray, int64_t> kUnitFs{
                {"s", 1000000000000000}, {"ms", 1000000000000}, {"us", 1000000000},
                {"ns", 1000000},         {"ps", 1000},          {"fs", 1}};
            const QByteArray unit = scale.sliced(digits);
            if (!n || *n == 0 || !kUnitFs.contains(unit)) {
                return failed(file, keyword.line,
                              QStringLiteral("timescale \"%1\" is not understood")
                                  .arg(QString::fromUtf8(scale)));
            }
            fsPerTick = *n * kUnitFs.value(unit);
        } else if (keyword.text == "$var") {
            if (id) {
                return failed(file, keyword.line,
                              QStringLiteral("a second signal: an import takes a VCD of one "
                                             "signal, export one channel"));
            }
            if (body.size() < 4 || body[1].text != "1") {
                return failed(file, keyword.line,
                              QStringLiteral("the signal is not one bit wide: an import takes "
                                             "one 1-bit signal"));
            }
            id = body[2].text;
        } else if (keyword.text == "$enddefinitions") {
            definitions = true;
        }
    }
    if (!definitions || !id || fsPerTick == 0) {
        return failed(file, 0,
                      !definitions ? QStringLiteral("no $enddefinitions: not a VCD")
                      : !id        ? QStringLiteral("no signal ($var) in it")
                                   : QStringLiteral("no $timescale in it"));
    }
    std::optional<bool> initial;
    std::vector<Change> changes;
    int64_t now = 0;
    while (i < tokens.size()) {
        const Token& t = tokens[i];
        if (t.text == "$comment") {
            if (!section(body)) {
                return failed(file, t.line, QStringLiteral("$comment has no $end"));
            }
            continue;
        }
        ++i;
        if (t.text.startsWith('$')) {
            continue; // $dumpvars, $dumpall, $end …: the changes inside count as any other
        }
        if (t.text.startsWith('#')) {
            const std::optional<int64_t> ticks = wholeNumber(t.text.sliced(1), 18);
            if (!ticks) {
                return failed(file, t.line,
                              QStringLiteral("\"%1\" is no time").arg(QString::fromUtf8(t.text)));
            }
            const int64_t fs = *ticks > kFarFs / fsPerTick ? kFarFs : *ticks * fsPerTick;
            if (fs < now) {
                return failed(file, t.line, QStringLiteral("the time goes back"));
            }
            now = fs;
            continue;
        }
        const char value = t.text.front();
        if ((value != '0' && value != '1') || t.text.sliced(1) != *id) {
            return failed(file, t.line,
                          QStringLiteral("\"%1\" is no change of the signal to 0 or 1")
                              .arg(QString::fromUtf8(t.text)));
        }
        if (!initial) {
            initial = value == '1';
        }
        changes.push_back({now, value == '1', t.line});
    }
    if (!initial) {
        return failed(file, 0, QStringLiteral("the signal is never given a value"));
    }
    return build(file, *initial, changes);
}

// The members of a zip archive, stored or deflated, read from its central directory.
class ZipReader {
public:
    explicit ZipReader(const QByteArray& bytes) : bytes_(bytes) {}

    // The members' names, or why the archive cannot be read.
    std::optional<QString> open() {
        constexpr uint32_t kEndSignature = 0x06054b50;
        constexpr uint32_t kCentralSignature = 0x02014b50;
        constexpr qsizetype kEndSize = 22;
        constexpr qsizetype kMostComment = 0xFFFF;
        qsizetype end = -1;
        for (qsizetype at = bytes_.size() - kEndSize;
             at >= 0 && at >= bytes_.size() - kEndSize - kMostComment; --at) {
            if (u32(at) == kEndSignature) {
                end = at;
                break;
            }
        }
        if (end < 0) {
            return QStringLiteral("a damaged zip archive (no central directory)");
        }
        const int count = u16(end + 10);
        qsizetype at = u32(end + 16);
        for (int n = 0; n < count; ++n) {
            if (at + 46 > bytes_.size() || u32(at) != kCentralSignature) {
                return QStringLiteral("a damaged zip archive (central directory)");
            }
            Member m;
            m.method = u16(at + 10);
            m.crc = u32(at + 16);
            m.packed = u32(at + 20);
            m.size = u32(at + 24);
            const int nameLength = u16(at + 28);
            m.local = u32(at + 42);
            const QByteArray name = bytes_.mid(at + 46, nameLength);
            at += 46 + nameLength + u16(at + 30) + u16(at + 32);
            members_.insert(name, m);
        }
        return std::nullopt;
    }

    bool contains(const QByteArray& name) const { return members_.contains(name); }

    // A member's bytes, or why they cannot be had.
    std::optional<QString> read(const QByteArray& name, QByteArray& out) const {
        constexpr uint32_t kLocalSignature = 0x04034b50;
        constexpr int kStored = 0;
        constexpr int kDeflated = 8;
        const Member m = members_.value(name);
        if (m.local + 30 > static_cast<uint64_t>(bytes_.size()) ||
            u32(static_cast<qsizetype>(m.local)) != kLocalSignature) {
            return QStringLiteral("member %1 is damaged").arg(QString::fromUtf8(name));
        }
        const auto local = static_cast<qsizetype>(m.local);
        const qsizetype data = local + 30 + u16(local + 26) + u16(local + 28);
        if (data + static_cast<qsizetype>(m.packed) > bytes_.size() ||
            m.size > static_cast<uint64_t>(kImportMostBytes)) {
            return QStringLiteral("member %1 is damaged or too large").arg(QString::fromUtf8(name));
        }
        if (m.method == kStored) {
            out = bytes_.mid(data, static_cast<qsizetype>(m.size));
        } else if (m.method == kDeflated) {
            out.resize(static_cast<qsizetype>(m.size));
            z_stream z{};
            if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
                return QStringLiteral("cannot inflate member %1").arg(QString::fromUtf8(name));
            }
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes_.constData() + data));
            z.avail_in = m.packed;
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = m.size;
            const int status = inflate(&z, Z_FINISH);
            const uLong produced = z.total_out;
            inflateEnd(&z);
            if (status != Z_STREAM_END || produced != m.size) {
                return QStringLiteral("member %1 is damaged (deflate)")
                    .arg(QString::fromUtf8(name));
            }
        } else {
            return QStringLiteral("member %1 is packed in a way not read here (method %2)")
                .arg(QString::fromUtf8(name))
                .arg(m.method);
        }
        const uLong crc =
            ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(out.constData()),
                    static_cast<uInt>(out.size()));
        if (crc != m.crc) {
            return QStringLiteral("member %1 is damaged (CRC)").arg(QString::fromUtf8(name));
        }
        return std::nullopt;
    }

private:
    struct Member {
        int method = 0;
        uint32_t crc = 0;
        uint32_t packed = 0;
        uint32_t size = 0;
        uint64_t local = 0;
    };
    uint32_t u16(qsizetype at) const {
        if (at < 0 || at + 2 > bytes_.size()) {
            return 0;
        }
        const auto* p = reinterpret_cast<const uint8_t*>(bytes_.constData() + at);
        return static_cast<uint32_t>(p[0] | p[1] << 8);
    }
    uint32_t u32(qsizetype at) const {
        if (at < 0 || at + 4 > bytes_.size()) {
            return 0;
        }
        return u16(at) | u16(at + 2) << 16;
    }
    const QByteArray& bytes_;
    QMap<QByteArray, Member> members_;
};

// "24908 Hz", "200 kHz", "1.5 MHz" (as sigrok writes a rate), in hertz.
std::optional<double> sampleRate(const QByteArray& text) {
    QByteArray t = text.simplified();
    t.replace(" ", "");
    if (!t.endsWith("Hz")) {
        return std::nullopt;
    }
    t.chop(2);
    double scale = 1.0;
    if (t.endsWith('k')) {
        scale = 1e3;
    } else if (t.endsWith('M')) {
        scale = 1e6;
    } else if (t.endsWith('G')) {
        scale = 1e9;
    }
    if (scale > 1.0) {
        t.chop(1);
    }
    bool ok = false;
    const double value = t.toDouble(&ok) * scale;
    return ok && value > 0 ? std::optional<double>(value) : std::nullopt;
}

// A sigrok session (zip: version, metadata, logic-1-1, logic-1-2 …) of one logic channel.
ImportedCapture readSigrok(const QByteArray& bytes, const QString& file) {
    ZipReader zip(bytes);
    if (const auto error = zip.open()) {
        return failed(file, 0, *error);
    }
    QByteArray metadata;
    if (!zip.contains("metadata")) {
        return failed(file, 0, QStringLiteral("no metadata member: not a sigrok session"));
    }
    if (const auto error = zip.read("metadata", metadata)) {
        return failed(file, 0, *error);
    }
    QMap<QByteArray, QByteArray> device;
    QList<int> probes;
    bool inDevice = false;
    for (const QByteArray& raw : linesOf(metadata)) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inDevice = line == "[device 1]";
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inDevice || eq < 0) {
            continue;
        }
        const QByteArray key = line.first(eq).trimmed();
        device.insert(key, line.sliced(eq + 1).trimmed());
        if (key.startsWith("probe")) {
            if (const auto n = wholeNumber(QByteArrayView(key).sliced(5), 3); n && *n > 0) {
                probes << static_cast<int>(*n);
            }
        }
    }
    if (probes.size() != 1) {
        return failed(file, 0,
                      probes.isEmpty()
                          ? QStringLiteral("no logic channel in it")
                          : QStringLiteral("%1 signals in it: an import takes a session of one "
                                           "logic channel, export one channel")
                                .arg(probes.size()));
    }
    const std::optional<int64_t> unit = wholeNumber(device.value("unitsize", "1"), 2);
    const std::optional<double> rate = sampleRate(device.value("samplerate"));
    const int probe = probes.front() - 1;
    if (!unit || *unit < 1 || probe >= *unit * 8) {
        return failed(file, 0, QStringLiteral("its unitsize does not hold the channel"));
    }
    if (!rate) {
        return failed(file, 0,
                      QStringLiteral("no samplerate it gives (\"%1\")")
                          .arg(QString::fromUtf8(device.value("samplerate"))));
    }
    // Our own sessions give the board's rate rounded to the hertz: a sample is a sample.
    const bool boardRate = std::llround(*rate) == kSampleRateHz;
    const long double samplesPerSample =
        static_cast<long double>(1e6 / kSamplePeriodUsExact) / static_cast<long double>(*rate);
    const QByteArray capturefile = device.value("capturefile", "logic-1");
    const auto target = [&](int64_t index) -> int64_t {
        return boardRate ? index : static_cast<int64_t>(std::llround(index * samplesPerSample));
    };
    LineBuilder builder(false);
    std::optional<bool> level;
    int64_t index = 0;
    const std::size_t byte = static_cast<std::size_t>(probe / 8);
    const int bit = probe % 8;
    QByteArray chunk;
    const auto take = [&](const QByteArray& name) -> std::optional<QString> {
        if (const auto error = zip.read(name, chunk)) {
            return error;
        }
        const auto* data = reinterpret_cast<const uint8_t*>(chunk.constData());
        const auto units = static_cast<std::size_t>(chunk.size() / *unit);
        for (std::size_t u = 0; u < units; ++u, ++index) {
            const bool high = (data[u * static_cast<std::size_t>(*unit) + byte] >> bit) & 1;
            if (!level) {
                level = high;
                builder = LineBuilder(high);
            } else if (high != *level) {
                *level = high;
                if (!builder.set(target(index), high)) {
                    return QStringLiteral("%1: %2").arg(
                        QString::fromUtf8(name),
                        pastTheEnd(static_cast<int64_t>(index / *rate * 1e15)));
                }
            }
        }
        return std::nullopt;
    };
    if (zip.contains(capturefile)) {
        if (const auto error = take(capturefile)) {
            return failed(file, 0, *error);
        }
    }
    for (int k = 1; zip.contains(capturefile + '-' + QByteArray::number(k)); ++k) {
        if (const auto error = take(capturefile + '-' + QByteArray::number(k))) {
            return failed(file, 0, *error);
        }
    }
    if (!level) {
        return failed(file, 0, QStringLiteral("no samples in it"));
    }
    return {builder.take(), {}};
}

} // namespace

std::optional<ImportFormat> importFormatFromName(const QString& name) {
    for (const ImportFormatInfo& f : kImportFormats) {
        if (name == QLatin1String(f.name)) {
            return f.format;
        }
    }
    return std::nullopt;
}

ImportFormat guessImportFormat(const QByteArray& bytes) {
    if (bytes.startsWith(kZipLocalSignature)) {
        return ImportFormat::Sigrok;
    }
    for (const QByteArray& raw : linesOf(bytes.first(std::min<qsizetype>(bytes.size(), 4096)))) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || (line.startsWith('#') && !line.startsWith("#0"))) {
            continue;
        }
        if (line.startsWith('$')) {
            return ImportFormat::Vcd;
        }
        if (line == kCsvHeader) {
            return ImportFormat::Csv;
        }
        // Pronto words are four hex digits, a learned code's first 0000; mode2's bare numbers
        // have no letters.
        const QList<QByteArray> words = line.simplified().split(' ');
        const bool hexWords = std::all_of(words.begin(), words.end(), [](const QByteArray& w) {
            return w.size() == 4 && std::all_of(w.begin(), w.end(), isHexDigit);
        });
        const bool letters = std::any_of(line.begin(), line.end(), [](char c) {
            return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        });
        if (words.front() == "0000" || (hexWords && letters)) {
            return ImportFormat::Pronto;
        }
        break;
    }
    return ImportFormat::Mode2;
}

ImportedCapture importCapture(const QByteArray& bytes, const QString& fileName,
                              std::optional<ImportFormat> format) {
    switch (format.value_or(guessImportFormat(bytes))) {
    case ImportFormat::Mode2:
        return readMode2(bytes, fileName);
    case ImportFormat::Pronto:
        return readPronto(bytes, fileName);
    case ImportFormat::Csv:
        return readCsv(bytes, fileName);
    case ImportFormat::Vcd:
        return readVcd(bytes, fileName);
    case ImportFormat::Sigrok:
        return readSigrok(bytes, fileName);
    }
    return {};
}

ImportedCapture importCaptureFile(const QString& path, std::optional<ImportFormat> format) {
    const BoundedRead read = readRegularFile(path, kImportMostBytes);
    if (read.tooLarge) {
        return {std::nullopt, QStringLiteral("%1: larger than %2 MiB, too large to import")
                                  .arg(path)
                                  .arg(kImportMostBytes >> 20)};
    }
    if (read.error) {
        return {std::nullopt, QStringLiteral("%1: %2").arg(path, *read.error)};
    }
    return importCapture(read.bytes, path, format);
}

ChannelBuffer channelBufferOf(const ChannelLevels& line) {
    ChannelBuffer buffer{};
    int64_t start = 0;
    bool high = line.initialHigh;
    for (std::size_t i = 0; i <= line.edges.size(); ++i) {
        const int64_t end = std::min<int64_t>(
            i < line.edges.size() ? line.edges[i] : kCaptureSamples, kCaptureSamples);
        if (high) {
            for (int64_t s = start; s < end; ++s) {
                buffer[static_cast<std::size_t>(s / kSamplesPerByte)] |=
                    static_cast<uint8_t>(0x80u >> (s % kSamplesPerByte));
            }
        }
        start = end;
        high = !high;
    }
    return buffer;
}

} // namespace velmoran::interchange
