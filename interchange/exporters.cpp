#include "interchange/exporters.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "infrared/ir_protocols.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/stored_zip.h"

namespace velmoran::interchange {

namespace {

constexpr char kScopeName[] = "velmoran";
constexpr char kFirstVcdId = '!';
// The session format of libsigrok 0.5, which PulseView and sigrok-cli read.
constexpr char kSigrokVersion[] = "0.5.2";
// GTKWave draws 200 pixels per zoom "frame"; a zoom of z shows 2^-z of its time units per
// frame. Its time unit is the timescale's unit without the multiplier: 1 ps for our 100 ps.
constexpr double kGtkwavePixelsPerFrame = 200.0;
constexpr double kGtkwaveUnitsPerVcdStep = 100.0;
// GTKWave 3.3 gives a 1200-pixel window a wave pane of 740 pixels (the signal tree and the
// names take the rest); the capture is zoomed to fill nine tenths of it.
constexpr int kGtkwaveWindowWidth = 1200;
constexpr int kGtkwaveWindowHeight = 400;
constexpr int kGtkwaveSignalsWidth = 160;
constexpr double kGtkwaveWavePanePixels = 740.0;
constexpr double kGtkwaveFilledShare = 0.9;
constexpr int kGtkwaveNamedMarkers = 26;
constexpr int kGtkwaveBinaryTraceFlags = 0x28; // right-justified, binary

QString channelName(int number) {
    return QStringLiteral("CH%1").arg(number);
}

void appendNumber(QByteArray& out, int64_t value) {
    char buffer[24];
    const auto result = std::to_chars(std::begin(buffer), std::end(buffer), value);
    out.append(buffer, result.ptr - buffer);
}

// Walks the edges of all channels in time order (ties in channel order).
template <class Visit>
void forEachEdgeInTime(const std::vector<ExportChannel>& channels, Visit visit) {
    std::vector<std::size_t> next(channels.size(), 0);
    for (;;) {
        int64_t earliest = std::numeric_limits<int64_t>::max();
        for (std::size_t c = 0; c < channels.size(); ++c) {
            if (next[c] < channels[c].line.edges.size()) {
                earliest = std::min<int64_t>(earliest, channels[c].line.edges[next[c]]);
            }
        }
        if (earliest == std::numeric_limits<int64_t>::max()) {
            return;
        }
        for (std::size_t c = 0; c < channels.size(); ++c) {
            const auto& edges = channels[c].line.edges;
            if (next[c] < edges.size() && edges[next[c]] == earliest) {
                visit(earliest, c, channels[c].line.levelAfterEdge(next[c]));
                ++next[c];
            }
        }
    }
}

int64_t captureSamples(const std::vector<ExportChannel>& channels) {
    return channels.empty() ? kCaptureSamples : channels.front().line.samples;
}

// A "[key] "path"" line of a GTKWave save file. GTKWave takes the text between the first and
// the last quote of the line, so quotes inside the path need no escape; a line break or other
// control character cannot be carried by a line and would start a line of its own, so such a
// path is left out as a comment (GTKWave then takes the file from its command line).
QByteArray gtkwavePathLine(const char* key, const QString& path) {
    const QByteArray absolute = QFileInfo(path).absoluteFilePath().toUtf8();
    const bool printable = std::none_of(absolute.begin(), absolute.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
    });
    if (!printable) {
        return QByteArray("[*] ") + key + " left out: its path holds a control character\n";
    }
    return QByteArray("[") + key + "] \"" + absolute + "\"\n";
}

} // namespace

std::optional<ExportFormat> exportFormatFromName(const QString& name) {
    for (const ExportFormatInfo& f : kExportFormats) {
        if (name == QLatin1String(f.name)) {
            return f.format;
        }
    }
    return std::nullopt;
}

const ExportFormatInfo& exportFormatInfo(ExportFormat format) {
    for (const ExportFormatInfo& f : kExportFormats) {
        if (f.format == format) {
            return f;
        }
    }
    return kExportFormats.front();
}

QByteArray exportVcd(const std::vector<ExportChannel>& channels) {
    QByteArray out;
    out += "$version velmoran-ird $end\n";
    out += "$comment one sample every 40.1474 us (401474 x 100 ps), ";
    appendNumber(out, captureSamples(channels));
    out += " samples per channel $end\n";
    out += "$timescale 100ps $end\n";
    out += QByteArray("$scope module ") + kScopeName + " $end\n";
    for (std::size_t c = 0; c < channels.size(); ++c) {
        out += "$var wire 1 ";
        out += static_cast<char>(kFirstVcdId + static_cast<int>(c));
        out += ' ' + channelName(channels[c].number).toLatin1() + " $end\n";
    }
    out += "$upscope $end\n$enddefinitions $end\n#0\n";
    for (std::size_t c = 0; c < channels.size(); ++c) {
        out += channels[c].line.initialHigh ? '1' : '0';
        out += static_cast<char>(kFirstVcdId + static_cast<int>(c));
        out += '\n';
    }
    int64_t written = 0;
    forEachEdgeInTime(channels, [&](int64_t sample, std::size_t c, bool high) {
        if (sample != written) {
            out += '#';
            appendNumber(out, sample * kSamplePeriod100ps);
            out += '\n';
            written = sample;
        }
        out += high ? '1' : '0';
        out += static_cast<char>(kFirstVcdId + static_cast<int>(c));
        out += '\n';
    });
    out += '#';
    appendNumber(out, captureSamples(channels) * kSamplePeriod100ps);
    out += '\n';
    return out;
}

QString gtkwaveSavePathFor(const QString& vcdPath) {
    QString base = vcdPath;
    if (base.endsWith(QLatin1String(".vcd"), Qt::CaseInsensitive)) {
        base.chop(4);
    }
    return base + QLatin1String(".gtkw");
}

QByteArray gtkwaveSaveFile(const QString& vcdPath, const QString& savePath,
                           const std::vector<ExportChannel>& channels) {
    const double total = static_cast<double>(captureSamples(channels) * kSamplePeriod100ps) *
                         kGtkwaveUnitsPerVcdStep;
    const double zoom =
        -std::log2(total * kGtkwavePixelsPerFrame / (kGtkwaveWavePanePixels * kGtkwaveFilledShare));
    QByteArray out;
    out += "[*]\n[*] written by velmoran-ird: every channel, zoomed to fit\n[*]\n";
    out += gtkwavePathLine("dumpfile", vcdPath);
    out += gtkwavePathLine("savefile", savePath);
    out += "[timestart] 0\n";
    out += QStringLiteral("[size] %1 %2\n")
               .arg(kGtkwaveWindowWidth)
               .arg(kGtkwaveWindowHeight)
               .toLatin1();
    out += QStringLiteral("*%1 -1").arg(zoom, 0, 'f', 6).toLatin1();
    for (int i = 0; i < kGtkwaveNamedMarkers; ++i) {
        out += " -1";
    }
    out += '\n';
    out += QStringLiteral("[signals_width] %1\n").arg(kGtkwaveSignalsWidth).toLatin1();
    out += QStringLiteral("@%1\n").arg(kGtkwaveBinaryTraceFlags, 0, 16).toLatin1();
    for (const ExportChannel& channel : channels) {
        out += QByteArray(kScopeName) + '.' + channelName(channel.number).toLatin1() + '\n';
    }
    return out;
}

QByteArray exportSigrokSession(const std::vector<ExportChannel>& channels) {
    const int64_t samples = captureSamples(channels);
    QByteArray logic(static_cast<qsizetype>(samples), '\0');
    char* data = logic.data();
    for (std::size_t c = 0; c < channels.size(); ++c) {
        const ChannelLevels& line = channels[c].line;
        const char bit = static_cast<char>(1 << c);
        int64_t start = 0;
        bool high = line.initialHigh;
        for (std::size_t i = 0; i <= line.edges.size(); ++i) {
            const int64_t end = i < line.edges.size() ? line.edges[i] : samples;
            if (high) {
                for (int64_t s = start; s < end; ++s) {
                    data[s] = static_cast<char>(data[s] | bit);
                }
            }
            start = end;
            high = !high;
        }
    }
    QByteArray metadata;
    metadata += QByteArray("[global]\nsigrok version=") + kSigrokVersion + "\n\n";
    metadata += "[device 1]\ncapturefile=logic-1\ntotal probes=";
    appendNumber(metadata, static_cast<int64_t>(channels.size()));
    metadata += "\nsamplerate=";
    appendNumber(metadata, kSampleRateHz);
    metadata += " Hz\ntotal analog=0\n";
    for (std::size_t c = 0; c < channels.size(); ++c) {
        metadata += "probe";
        appendNumber(metadata, static_cast<int64_t>(c + 1));
        metadata += '=' + channelName(channels[c].number).toLatin1() + '\n';
    }
    metadata += "unitsize=1\n";

    StoredZip zip;
    zip.add("version", QByteArray("2"));
    zip.add("metadata", metadata);
    zip.add("logic-1-1", logic);
    return zip.finish();
}

QByteArray exportMode2(const ExportChannel& channel) {
    const ChannelLevels& line = channel.line;
    QByteArray out;
    int64_t start = 0;
    bool high = line.initialHigh;
    for (std::size_t i = 0; i <= line.edges.size(); ++i) {
        const int64_t end = i < line.edges.size() ? line.edges[i] : line.samples;
        out += high ? "space " : "pulse ";
        appendNumber(out, sampleTimeUsRounded(end) - sampleTimeUsRounded(start));
        out += '\n';
        start = end;
        high = !high;
    }
    return out;
}

QByteArray exportCsv(const std::vector<ExportChannel>& channels) {
    QByteArray out("time_us,channel,level\n");
    for (const ExportChannel& channel : channels) {
        out += "0,";
        appendNumber(out, channel.number);
        out += channel.line.initialHigh ? ",1\n" : ",0\n";
    }
    forEachEdgeInTime(channels, [&](int64_t sample, std::size_t c, bool high) {
        appendSampleTimeUs(out, sample);
        out += ',';
        appendNumber(out, channels[c].number);
        out += high ? ",1\n" : ",0\n";
    });
    return out;
}

std::vector<infrared::IrFrame> decodeChannelFrames(const ChannelLevels& line, int number,
                                                   const infrared::irp::ProtocolTable& table) {
    return infrared::irp::decodeWithProtocols(
        infrared::decodeInfrared(line, number, infrared::IrUnknownBursts::Listed), line, table);
}

std::vector<infrared::IrFrame> exportedFrames(const ExportChannel& channel) {
    if (channel.frames) {
        return *channel.frames;
    }
    return decodeChannelFrames(channel.line, channel.number, infrared::irp::builtinTable());
}

std::vector<DistinctFrame> distinctFrames(const std::vector<infrared::IrFrame>& frames) {
    std::vector<DistinctFrame> distinct;
    QSet<QString> seen;
    for (const infrared::IrFrame& f : frames) {
        if (f.protocol == infrared::IrProtocol::NecRepeat || f.repeat) {
            continue; // a held key's repeats: the frame itself is written
        }
        // A frame of the table under its protocol's name and parameters.
        infrared::FrameText text = infrared::irp::readByTable(f) ? infrared::irp::shownFrameText(f)
                                                                 : infrared::frameText(f);
        QString described = text.protocol + QLatin1Char(' ') + text.notes;
        if (seen.contains(described)) {
            continue;
        }
        seen.insert(described);
        distinct.push_back({&f, std::move(text), std::move(described)});
    }
    return distinct;
}

} // namespace velmoran::interchange
