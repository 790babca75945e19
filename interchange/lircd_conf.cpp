#include "interchange/lircd_conf.h"

#include <QFile>
#include <QList>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace velmoran::interchange {

using namespace infrared;

namespace {

constexpr int kCodeNameWidth = 24;
constexpr int kRawPerLine = 8;
constexpr int kHexDigitBits = 4;

std::optional<uint64_t> number(const QByteArray& word) {
    bool ok = false;
    const qulonglong v = word.startsWith("0x") || word.startsWith("0X")
                             ? word.mid(2).toULongLong(&ok, 16)
                             : word.toULongLong(&ok, 10);
    return ok ? std::optional<uint64_t>(v) : std::nullopt;
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

    // One "keyword value [value]" line inside a remote, before its codes.
    bool parameter(const QList<QByteArray>& w, LircRemote& r) {
        const QByteArray& key = w[0];
        const QString keyText = QString::fromUtf8(key);
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
            r.name = QString::fromUtf8(w.mid(1).join(' '));
            return true;
        }
        if (key == "flags") {
            r.flags = 0;
            for (const QByteArray& name : w.mid(1).join('|').split('|')) {
                if (name.isEmpty()) {
                    continue;
                }
                const auto it = std::find_if(kLircFlagNames.begin(), kLircFlagNames.end(),
                                             [&](const LircFlagName& f) { return name == f.name; });
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

std::optional<QString> readLircdConf(const QByteArray& text, const QString& fileName,
                                     std::vector<LircRemote>& remotes, QStringList* warnings) {
    Reader in{fileName, 0, {}, warnings};
    std::vector<LircRemote> found;
    Section section = Section::Outside;
    LircRemote r;
    const QList<QByteArray> lines = text.split('\n');
    for (const QByteArray& raw : lines) {
        ++in.line;
        const QByteArray line = raw.left(raw.indexOf('#') < 0 ? raw.size() : raw.indexOf('#'));
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.front().isEmpty()) {
            continue;
        }
        const bool begin = w[0] == "begin" && w.size() == 2;
        const bool end = w[0] == "end" && w.size() == 2;
        switch (section) {
        case Section::Outside:
            if (!(begin && w[1] == "remote")) {
                in.fail(QStringLiteral("expected \"begin remote\""));
            } else {
                r = LircRemote{};
                section = Section::Remote;
            }
            break;
        case Section::Remote:
            if (begin && (w[1] == "codes" || w[1] == "raw_codes")) {
                section = w[1] == "codes" ? Section::Codes : Section::RawCodes;
            } else if (end && w[1] == "remote") {
                if (r.name.isEmpty()) {
                    in.fail(QStringLiteral("the remote has no name"));
                } else if ((r.flags & kLircRawCodes) == 0 &&
                           r.bits + r.preDataBits + r.postDataBits <= 0) {
                    in.fail(QStringLiteral("remote %1 gives no bits").arg(r.name));
                } else if (r.bits + r.preDataBits + r.postDataBits > 64) {
                    in.fail(QStringLiteral("remote %1 has more than 64 bits").arg(r.name));
                }
                for (const QString& unhonoured : lircUnhonoured(r)) {
                    in.warn(unhonoured);
                }
                found.push_back(r);
                section = Section::Outside;
            } else if (begin || end) {
                in.fail(
                    QStringLiteral("unexpected \"%1\"").arg(QString::fromUtf8(line.simplified())));
            } else {
                in.parameter(w, r);
            }
            break;
        case Section::Codes:
            if (end && w[1] == "codes") {
                section = Section::Remote;
            } else if (w.size() < 2) {
                in.fail(QStringLiteral("a code needs a name and a value"));
            } else {
                LircCode code{QString::fromUtf8(w[0]), 0, {}};
                if (in.value(w[1], code.code)) {
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
            if (end && w[1] == "raw_codes") {
                section = Section::Remote;
            } else if (w[0] == "name") {
                if (w.size() != 2) {
                    in.fail(QStringLiteral("give one name after \"name\""));
                }
                r.rawCodes.push_back({QString::fromUtf8(w.value(1)), {}});
            } else if (r.rawCodes.empty()) {
                in.fail(QStringLiteral("durations before the first \"name\""));
            } else {
                for (const QByteArray& word : w) {
                    int us = 0;
                    if (in.value(word, us)) {
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

std::optional<QString> readLircdConfFile(const QString& path, std::vector<LircRemote>& remotes,
                                         QStringList* warnings) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    }
    return readLircdConf(file.readAll(), path, remotes, warnings);
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
        out += "begin remote\n  name  " + r.name.toUtf8() + '\n';
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
                out += "    " + code.name.toUtf8().leftJustified(kCodeNameWidth) + ' ' +
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
                out += "    name " + code.name.toUtf8() + "\n     ";
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
