#include "interchange/lircd_conf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "core/whole_file.h"

namespace velmoran::interchange {

using namespace infrared;

namespace {

constexpr int kCodeNameWidth = 24;
constexpr int kRawPerLine = 8;
constexpr int kHexDigitBits = 4;
constexpr int kMaxCodeBits = 64;
constexpr int kMaxEpsPercent = 100;
// LIRC's limits: the longest duration a pulse or space can carry (its PULSE_MASK), the longest
// line and the deepest nesting of include lines it reads.
constexpr int kMaxDurationUs = 0xFFFFFF;
constexpr int kMaxLineBytes = 4095;
constexpr int kMaxIncludeDepth = 10;
constexpr int kOctal = 8;
constexpr int kDecimal = 10;
constexpr int kHex = 16;
constexpr char16_t kEscapedByteBase = 0xDC00; // U+DC80–U+DCFF: bytes 0x80–0xFF kept as they are
constexpr unsigned char kFirstNonAscii = 0x80;
// The flags that name an encoding: a remote has one of them (LIRC's IR_PROTOCOL_MASK).
constexpr uint32_t kLircProtocolFlags = kLircRawCodes | kLircRc5 | kLircRc6 | kLircRcmm |
                                        kLircSpaceEnc | kLircSpaceFirst | kLircGoldstar |
                                        kLircGrundig | kLircBo | kLircSerial | kLircXmp;

// A number as LIRC's strtoul(…, 0) reads a whole word: 0x… hex, 0… octal, else decimal; no
// sign, nothing after the digits, no value past 64 bits.
std::optional<uint64_t> number(const QByteArray& word) {
    int base = kDecimal;
    QByteArray digits = word;
    if (word.size() > 1 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = kHex;
        digits = word.mid(2);
    } else if (word.size() > 1 && word[0] == '0') {
        base = kOctal;
        digits = word.mid(1);
    }
    const bool allDigits =
        !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [&](char c) {
            const int d = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + kDecimal
                          : c >= 'A' && c <= 'F' ? c - 'A' + kDecimal
                                                 : base;
            return d < base;
        });
    bool ok = false;
    const qulonglong v = allDigits ? digits.toULongLong(&ok, base) : 0;
    return ok ? std::optional<uint64_t>(v) : std::nullopt;
}

// The words of a line as LIRC splits them: at spaces and tabs, a carriage return at the end
// dropped.
QList<QByteArray> words(const QByteArray& line) {
    QList<QByteArray> w;
    QByteArray word;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\r') {
            if (!word.isEmpty()) {
                w.push_back(word);
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.isEmpty()) {
        w.push_back(word);
    }
    return w;
}

struct Reader {
    QString fileName;
    int line = 0;
    std::optional<QString> error;
    QStringList* warnings = nullptr;

    void warn(const QString& what) {
        if (warnings != nullptr) {
            warnings->append(QStringLiteral("%1:%2: %3").arg(fileName).arg(line).arg(what));
        }
    }

    bool fail(const QString& why) {
        if (!error) {
            error = QStringLiteral("%1:%2: %3").arg(fileName).arg(line).arg(why);
        }
        return false;
    }
    bool value(const QByteArray& word, uint64_t& out) {
        const std::optional<uint64_t> v = number(word);
        if (!v) {
            return fail(QStringLiteral("\"%1\" is not a number").arg(QString::fromUtf8(word)));
        }
        out = *v;
        return true;
    }
    bool value(const QByteArray& word, int& out) {
        uint64_t v = 0;
        if (!value(word, v)) {
            return false;
        }
        if (v > static_cast<uint64_t>(std::numeric_limits<int>::max())) {
            return fail(QStringLiteral("%1 is too large").arg(QString::fromUtf8(word)));
        }
        out = static_cast<int>(v);
        return true;
    }
    bool nameOf(const QByteArray& word, QString& out) {
        if (word.size() > kMaxLircNameBytes) {
            return fail(QStringLiteral("a name longer than %1 bytes, which LIRC cannot report")
                            .arg(kMaxLircNameBytes));
        }
        out = lircName(word);
        return true;
    }
    bool within(const char* what, int v, int most) {
        return v <= most ||
               fail(QStringLiteral("%1 %2 is out of range (0 to %3)").arg(what).arg(v).arg(most));
    }
    // Every number of the remote within what LIRC and the matcher's arithmetic take, checked
    // after each line so that the line at fault is named.
    bool bounded(const LircRemote& r) {
        bool ok = within("bits", r.bits, kMaxCodeBits) &&
                  within("pre_data_bits", r.preDataBits, kMaxCodeBits) &&
                  within("post_data_bits", r.postDataBits, kMaxCodeBits) &&
                  within("eps", r.eps, kMaxEpsPercent) && within("aeps", r.aeps, kMaxDurationUs) &&
                  within("plead", r.plead, kMaxDurationUs) &&
                  within("ptrail", r.ptrail, kMaxDurationUs) &&
                  within("gap", r.gap, kMaxDurationUs) && within("gap", r.gap2, kMaxDurationUs);
        for (const LircPair* p :
             {&r.header, &r.one, &r.zero, &r.pre, &r.post, &r.foot, &r.repeat}) {
            ok = ok && within("a duration", p->pulse, kMaxDurationUs) &&
                 within("a duration", p->space, kMaxDurationUs);
        }
        return ok;
    }

    // One "keyword value [value]" line inside a remote, before its codes.
    bool parameter(const QList<QByteArray>& w, LircRemote& r) {
        const QByteArray key = w[0].toLower(); // LIRC takes keywords in any case
        const QString keyText = QString::fromUtf8(w[0]);
        if (w.size() < 2) {
            return fail(QStringLiteral("no value for %1").arg(keyText));
        }
        const auto one = [&](auto& out) {
            return w.size() == 2 ? value(w[1], out)
                                 : fail(QStringLiteral("%1 takes one value").arg(keyText));
        };
        const auto pair = [&](LircPair& p) {
            return w.size() == 3
                       ? value(w[1], p.pulse) && value(w[2], p.space)
                       : fail(QStringLiteral("%1 takes two values: pulse and space").arg(keyText));
        };
        if (key == "name") {
            return nameOf(w[1], r.name); // LIRC ignores any further words
        }
        if (key == "flags") {
            r.flags = 0;
            for (const QByteArray& name : w.mid(1).join('|').split('|')) {
                if (name.isEmpty()) {
                    continue;
                }
                const auto it =
                    std::find_if(kLircFlagNames.begin(), kLircFlagNames.end(),
                                 [&](const LircFlagName& f) { return name.toUpper() == f.name; });
                if (it == kLircFlagNames.end()) {
                    return fail(QStringLiteral("unknown flag %1").arg(QString::fromUtf8(name)));
                }
                r.flags |= it->flag;
            }
            return true;
        }
        if (key == "gap") {
            return w.size() <= 3 ? value(w[1], r.gap) && (w.size() < 3 || value(w[2], r.gap2))
                                 : fail(QStringLiteral("gap takes one or two values"));
        }
        const std::pair<const char*, int*> ints[] = {
            {"bits", &r.bits},
            {"eps", &r.eps},
            {"aeps", &r.aeps},
            {"plead", &r.plead},
            {"ptrail", &r.ptrail},
            {"pre_data_bits", &r.preDataBits},
            {"post_data_bits", &r.postDataBits},
        };
        for (const auto& [name, field] : ints) {
            if (key == name) {
                return one(*field);
            }
        }
        const std::pair<const char*, uint64_t*> words[] = {
            {"pre_data", &r.preData},
            {"post_data", &r.postData},
            {"toggle_bit_mask", &r.toggleBitMask},
            {"rc6_mask", &r.rc6Mask},
            {"ignore_mask", &r.ignoreMask},
        };
        for (const auto& [name, field] : words) {
            if (key == name) {
                return one(*field);
            }
        }
        const std::pair<const char*, LircPair*> pairs[] = {
            {"header", &r.header}, {"one", &r.one},   {"zero", &r.zero},     {"pre", &r.pre},
            {"post", &r.post},     {"foot", &r.foot}, {"repeat", &r.repeat},
        };
        for (const auto& [name, field] : pairs) {
            if (key == name) {
                return pair(*field);
            }
        }
        if (!lircParameterKnown(keyText)) {
            warn(QStringLiteral("parameter %1 is not honoured").arg(keyText));
        }
        r.otherParameters.emplace_back(keyText, QString::fromUtf8(w.mid(1).join(' ')));
        return true;
    }
};

enum class Section { Outside, Remote, Codes, RawCodes };

QString hex(uint64_t value, int digits) {
    return QStringLiteral("0x%1").arg(value, digits, 16, QLatin1Char('0'));
}

QByteArray num(int value) {
    return QByteArray::number(value);
}

} // namespace

namespace {

std::optional<QString> readText(const QByteArray& text, const QString& fileName, int depth,
                                std::vector<LircRemote>& remotes, QStringList* warnings);

// The bytes of a regular file of at most kMaxLircdConfBytes, or the reason it is not read: opened
// without waiting (a FIFO must not block), its type checked on the open descriptor.
std::optional<QString> readBounded(const QString& path, QByteArray& text) {
    BoundedRead read = readRegularFile(path, kMaxLircdConfBytes);
    if (read.error) {
        return QStringLiteral("cannot read %1: %2").arg(path, *read.error);
    }
    if (read.tooLarge) {
        return QStringLiteral("cannot read %1: larger than %2 MiB, too large for a lircd.conf")
            .arg(path)
            .arg(kMaxLircdConfBytes / (1024 * 1024));
    }
    text = std::move(read.bytes);
    return std::nullopt;
}

std::optional<QString> readFile(const QString& path, int depth, std::vector<LircRemote>& remotes,
                                QStringList* warnings) {
    QByteArray text;
    if (auto error = readBounded(path, text)) {
        return error;
    }
    return readText(text, path, depth, remotes, warnings);
}

// The files an include line names, as LIRC finds them: the quoted ("…" or <…>) path, relative
// to the including file's folder, with shell wildcards in its file name.
std::optional<QStringList> includedFiles(const QByteArray& word, const QString& fileName) {
    if (word.size() < 2 || !((word.front() == '"' && word.back() == '"') ||
                             (word.front() == '<' && word.back() == '>'))) {
        return std::nullopt;
    }
    const QString path = QFile::decodeName(word.mid(1, word.size() - 2));
    const QFileInfo info(QDir(QFileInfo(fileName).absolutePath()), path);
    if (!info.fileName().contains(QRegularExpression(QStringLiteral("[*?\\[]")))) {
        return QStringList{info.filePath()};
    }
    QStringList files;
    const QDir dir = info.dir();
    for (const QString& name :
         dir.entryList({info.fileName()}, QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        files << dir.filePath(name);
    }
    return files;
}

std::optional<QString> readText(const QByteArray& text, const QString& fileName, int depth,
                                std::vector<LircRemote>& remotes, QStringList* warnings) {
    Reader in{fileName, 0, {}, warnings};
    std::vector<LircRemote> found;
    Section section = Section::Outside;
    LircRemote r;
    bool codesDefined = false; // LIRC takes one codes or raw_codes section per remote
    int codesLine = 0;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& line : lines) {
        ++in.line;
        if (line.size() > kMaxLineBytes) {
            in.fail(QStringLiteral("a line longer than %1 bytes, which LIRC does not read")
                        .arg(kMaxLineBytes));
            return in.error;
        }
        if (line.startsWith('#')) {
            continue;
        }
        QList<QByteArray> w = words(line);
        if (w.isEmpty() || (w[0].startsWith('#') && section != Section::Codes)) {
            continue; // a code's name may start with '#', as LIRC reads it
        }
        // After the words a line needs, one starting with '#' begins a comment.
        for (qsizetype k = 2; k < w.size(); ++k) {
            if (w[k].startsWith('#')) {
                w.resize(k);
                break;
            }
        }
        const QByteArray key = w[0].toLower();
        const QByteArray what = w.size() >= 2 ? w[1].toLower() : QByteArray();
        const bool begin = key == "begin" && w.size() == 2;
        const bool end = key == "end" && w.size() == 2;
        if (key == "include" && w.size() >= 2) {
            const std::optional<QStringList> files = includedFiles(w[1], fileName);
            if (section != Section::Outside) {
                in.fail(QStringLiteral("an include line inside a remote"));
            } else if (!files) {
                in.fail(QStringLiteral("an include line needs a \"quoted\" or <bracketed> path"));
            } else if (depth >= kMaxIncludeDepth) {
                in.fail(
                    QStringLiteral("include lines nested more than %1 deep").arg(kMaxIncludeDepth));
            } else {
                for (const QString& file : *files) {
                    if (auto error = readFile(file, depth + 1, found, in.warnings)) {
                        in.fail(QStringLiteral("in the included file: %1").arg(*error));
                        break;
                    }
                }
            }
            if (in.error) {
                return in.error;
            }
            continue;
        }
        switch (section) {
        case Section::Outside:
            if (!(begin && what == "remote")) {
                in.fail(QStringLiteral("expected \"begin remote\""));
            } else {
                r = LircRemote{};
                codesDefined = false;
                section = Section::Remote;
            }
            break;
        case Section::Remote:
            if (begin && (what == "codes" || what == "raw_codes")) {
                if (codesDefined) {
                    in.fail(QStringLiteral("remote %1 already has its codes (line %2); LIRC "
                                           "takes one codes or raw_codes section")
                                .arg(r.name)
                                .arg(codesLine));
                } else if (what == "codes" && (r.flags & kLircRawCodes) != 0) {
                    in.fail(QStringLiteral("remote %1 is flagged RAW_CODES but has a \"begin "
                                           "codes\" section")
                                .arg(r.name));
                } else if (what == "raw_codes") {
                    // As LIRC: a raw_codes section makes the remote one of raw codes.
                    r.flags = (r.flags & ~kLircProtocolFlags) | kLircRawCodes;
                }
                codesDefined = true;
                codesLine = in.line;
                section = what == "codes" ? Section::Codes : Section::RawCodes;
            } else if (end && what == "remote") {
                if (r.name.isEmpty()) {
                    in.fail(QStringLiteral("the remote has no name"));
                } else if ((r.flags & kLircRawCodes) != 0 && !r.codes.empty()) {
                    in.fail(QStringLiteral("remote %1 is flagged RAW_CODES but has a \"begin "
                                           "codes\" section (line %2)")
                                .arg(r.name)
                                .arg(codesLine));
                } else if (!r.rawCodes.empty() && (r.flags & kLircProtocolFlags) != kLircRawCodes) {
                    in.fail(QStringLiteral("remote %1 has raw codes but flags of another "
                                           "encoding")
                                .arg(r.name));
                } else if ((r.flags & kLircRawCodes) == 0 &&
                           r.bits + r.preDataBits + r.postDataBits <= 0) {
                    in.fail(QStringLiteral("remote %1 gives no bits").arg(r.name));
                } else if (r.bits + r.preDataBits + r.postDataBits > kMaxCodeBits) {
                    in.fail(QStringLiteral("remote %1 has more than 64 bits").arg(r.name));
                }
                for (const QString& unhonoured : lircUnhonoured(r)) {
                    in.warn(unhonoured);
                }
                found.push_back(r);
                section = Section::Outside;
            } else if (key == "begin" || key == "end") {
                in.fail(QStringLiteral("unexpected \"%1\"").arg(QString::fromUtf8(w.join(' '))));
            } else if (in.parameter(w, r)) {
                in.bounded(r);
            }
            break;
        case Section::Codes:
            if (end && what == "codes") {
                section = Section::Remote;
            } else if (w.size() < 2) {
                in.fail(QStringLiteral("a code needs a name and a value"));
            } else {
                LircCode code{{}, 0, {}};
                if (in.nameOf(w[0], code.name) && in.value(w[1], code.code)) {
                    for (qsizetype k = 2; k < w.size(); ++k) {
                        uint64_t more = 0;
                        if (in.value(w[k], more)) {
                            code.more.push_back(more);
                        }
                    }
                }
                r.codes.push_back(code);
            }
            break;
        case Section::RawCodes:
            if (end && what == "raw_codes") {
                section = Section::Remote;
            } else if (key == "name") {
                if (w.size() < 2) {
                    in.fail(QStringLiteral("give one name after \"name\""));
                } else {
                    r.rawCodes.push_back({{}, {}});
                    in.nameOf(w[1], r.rawCodes.back().name);
                }
            } else if (r.rawCodes.empty()) {
                in.fail(QStringLiteral("durations before the first \"name\""));
            } else {
                for (const QByteArray& word : w) {
                    int us = 0;
                    if (in.value(word, us) && in.within("a duration", us, kMaxDurationUs)) {
                        r.rawCodes.back().durations.push_back(us);
                    }
                }
            }
            break;
        }
        if (in.error) {
            return in.error;
        }
    }
    if (section != Section::Outside) {
        in.fail(QStringLiteral("the file ends inside a remote (no \"end remote\")"));
        return in.error;
    }
    remotes.insert(remotes.end(), found.begin(), found.end());
    return std::nullopt;
}

} // namespace

QString lircName(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) {
        return text;
    }
    text.clear();
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += b < kFirstNonAscii ? QChar(b) : QChar(char16_t(kEscapedByteBase + b));
    }
    return text;
}

QByteArray lircNameBytes(const QString& name) {
    const auto escaped = [](QChar c) {
        return c.unicode() >= kEscapedByteBase + kFirstNonAscii &&
               c.unicode() <= kEscapedByteBase + 0xFF;
    };
    if (std::none_of(name.begin(), name.end(), escaped) ||
        std::any_of(name.begin(), name.end(), [](QChar c) { return c.isHighSurrogate(); })) {
        return name.toUtf8();
    }
    QByteArray bytes;
    for (const QChar c : name) {
        if (escaped(c)) {
            bytes += static_cast<char>(c.unicode() - kEscapedByteBase);
        } else {
            bytes += QString(c).toUtf8();
        }
    }
    return bytes;
}

std::optional<QString> lircNameProblem(const QString& name) {
    const QByteArray bytes = lircNameBytes(name);
    if (bytes.isEmpty()) {
        return QStringLiteral("the name is empty");
    }
    if (bytes.size() > kMaxLircNameBytes) {
        return QStringLiteral("the name is %1 bytes long, more than the %2 LIRC can report")
            .arg(bytes.size())
            .arg(kMaxLircNameBytes);
    }
    if (std::any_of(name.begin(), name.end(),
                    [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; })) {
        return QStringLiteral("the name has a space or a control character");
    }
    if (bytes.toLower() == "include") {
        return QStringLiteral("LIRC reads a key named \"include\" as an include line");
    }
    return std::nullopt;
}

std::optional<QString> readLircdConf(const QByteArray& text, const QString& fileName,
                                     std::vector<LircRemote>& remotes, QStringList* warnings) {
    return readText(text, fileName, 0, remotes, warnings);
}

std::optional<QString> readLircdConfFile(const QString& path, std::vector<LircRemote>& remotes,
                                         QStringList* warnings) {
    return readFile(path, 0, remotes, warnings);
}

QByteArray writeLircdConf(const std::vector<LircRemote>& remotes, const QByteArray& preamble) {
    QByteArray out = preamble;
    for (const LircRemote& r : remotes) {
        out += '\n';
        if (!r.comment.isEmpty()) {
            for (const QString& line : r.comment.split(QLatin1Char('\n'))) {
                out += "# " + line.toUtf8() + '\n';
            }
        }
        out += "begin remote\n  name  " + lircNameBytes(r.name) + '\n';
        if (r.bits > 0) {
            out += "  bits  " + num(r.bits) + '\n';
        }
        if (r.flags != 0) {
            QByteArrayList names;
            uint32_t written = 0;
            for (const LircFlagName& f : kLircFlagNames) {
                if ((r.flags & f.flag) != 0 && (written & f.flag) == 0) {
                    names << f.name;
                    written |= f.flag;
                }
            }
            out += "  flags " + names.join('|') + '\n';
        }
        out += "  eps   " + num(r.eps) + "\n  aeps  " + num(r.aeps) + '\n';
        const auto pair = [&](const char* name, const LircPair& p) {
            if (p.pulse > 0 || p.space > 0) {
                out += QByteArray("  ") + QByteArray(name).leftJustified(8) + num(p.pulse) + ' ' +
                       num(p.space) + '\n';
            }
        };
        const auto single = [&](const char* name, int v) {
            if (v > 0) {
                out += QByteArray("  ") + QByteArray(name).leftJustified(8) + num(v) + '\n';
            }
        };
        pair("header", r.header);
        pair("one", r.one);
        pair("zero", r.zero);
        single("plead", r.plead);
        single("ptrail", r.ptrail);
        pair("repeat", r.repeat);
        out += "  gap   " + num(r.gap) + (r.gap2 > 0 ? ' ' + num(r.gap2) : QByteArray()) + '\n';
        pair("pre", r.pre);
        pair("post", r.post);
        pair("foot", r.foot);
        const auto data = [&](const char* name, int bits, uint64_t value) {
            if (bits > 0) {
                out += QByteArray("  ") + name + "_bits " + num(bits) + "\n  " + name + ' ' +
                       hex(value, (bits + kHexDigitBits - 1) / kHexDigitBits).toLatin1() + '\n';
            }
        };
        data("pre_data", r.preDataBits, r.preData);
        data("post_data", r.postDataBits, r.postData);
        const auto mask = [&](const char* name, uint64_t v) {
            if (v != 0) {
                out += QByteArray("  ") + name + ' ' + hex(v, 1).toLatin1() + '\n';
            }
        };
        mask("toggle_bit_mask", r.toggleBitMask);
        mask("rc6_mask", r.rc6Mask);
        mask("ignore_mask", r.ignoreMask);
        for (const auto& [key, value] : r.otherParameters) {
            out += "  " + key.toUtf8() + ' ' + value.toUtf8() + '\n';
        }
        if ((r.flags & kLircRawCodes) == 0) {
            const int digits = (r.bits + kHexDigitBits - 1) / kHexDigitBits;
            out += "  begin codes\n";
            for (const LircCode& code : r.codes) {
                out += "    " + lircNameBytes(code.name).leftJustified(kCodeNameWidth) + ' ' +
                       hex(code.code, digits).toLatin1();
                for (const uint64_t more : code.more) {
                    out += ' ' + hex(more, digits).toLatin1();
                }
                out += '\n';
            }
            out += "  end codes\n";
        } else {
            out += "  begin raw_codes\n";
            for (const LircRawCode& code : r.rawCodes) {
                out += "    name " + lircNameBytes(code.name) + "\n     ";
                int column = 0;
                for (const int d : code.durations) {
                    out += ' ' + num(d);
                    if (++column % kRawPerLine == 0) {
                        out += "\n     ";
                    }
                }
                out += '\n';
            }
            out += "  end raw_codes\n";
        }
        out += "end remote\n";
    }
    return out;
}

} // namespace velmoran::interchange
