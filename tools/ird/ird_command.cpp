#include "tools/ird/ird_command.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/whole_file.h"
#include "files/capture_file.h"
#include "infrared/frame_text.h"
#include "infrared/ir_analysis.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_decode.h"
#include "infrared/irp/irp_table.h"
#include "interchange/c_array.h"
#include "interchange/capture_import.h"
#include "interchange/export_files.h"
#include "interchange/export_plan.h"
#include "interchange/exporters.h"
#include "interchange/lircd_conf.h"
#include "interchange/lircd_export.h"
#include "interchange/remote_library.h"
#include "tools/ird/ird_generate.h"

namespace velmoran::interchange {

using namespace infrared;
using infrared::LircKey;

namespace {

constexpr char kProgram[] = "velmoran-ird";

constexpr char kUsage[] =
    "usage: velmoran-ird info FILE.ird\n"
    "       velmoran-ird export FILE.ird --format vcd|sr|mode2|csv|lircd|pronto|c\n"
    "                           [--channels 1,2,3] [--names FILE] [--remotes LIRCD.CONF]...\n"
    "                           -o OUT [--force]\n"
    "       velmoran-ird decode FILE.ird [--channel N] [--remotes LIRCD.CONF]...\n"
    "       velmoran-ird import FILE [--format mode2|pronto|csv|vcd|sr] [--channel N]\n"
    "                           [--into CAPTURE.ird] -o OUT.ird\n"
    "       velmoran-ird generate PROTOCOL NAME=VALUE... [--repeats N]\n"
    "                           --format ird|mode2|pronto|lircd|c -o OUT\n"
    "       velmoran-ird protocols\n"
    "\n"
    "info    size of the file and, per channel, edges, time high and low, first and last\n"
    "        edge and shortest pulse, in microseconds (one sample every 40.1474 us), and the\n"
    "        codings inferred for remotes no decoder knows (scheme, bits, timings, keys)\n"
    "export  vcd: value change dump (100 ps timescale) plus OUT.gtkw for GTKWave; an\n"
    "        existing OUT.gtkw is kept unless --force replaces it\n"
    "        sr: sigrok session for PulseView and sigrok-cli\n"
    "        mode2: LIRC pulse/space text of one channel (channel 1 unless --channels N)\n"
    "        csv: every edge as time_us,channel,level\n"
    "        lircd: LIRC remote definitions of the frames decoded in one channel (channel 1\n"
    "        unless --channels N): a remote per protocol and address, a code per command,\n"
    "        named KEY_<command> or as --names FILE says (lines \"COMMAND NAME\" or\n"
    "        \"PROTOCOL ADDRESS COMMAND NAME\"); a protocol of the table in LIRC's own\n"
    "        encoding where LIRC has one; unknown frames as raw codes\n"
    "        pronto: a Pronto hex code per distinct frame of one channel\n"
    "        c: a C array of marks and spaces (us) and the carrier per distinct frame\n"
    "        of one channel, named by its key\n"
    "        lircd, pronto and c name the keys the remotes of --remotes FILE send (each\n"
    "        --remotes gives one lircd.conf; without one, the window's remote library\n"
    "        if there is one); --names FILE wins over them\n"
    "decode  infrared frames in one channel or in all three: NEC (with repeat codes),\n"
    "        Samsung32, JVC, Kaseikyo/Panasonic, Sharp, Denon, RC-5/RC-5X, RC-6/RC-6A, Sony SIRC\n"
    "        12/15/20 and RCA, each with its fields; bursts no decoder knows with their\n"
    "        inferred coding where one shows (scheme, bits LSB and MSB first, timings) or\n"
    "        as Unknown, and their raw marks (+) and spaces (-) in us; with --remotes, a\n"
    "        frame that sends a key of those remotes (or of the window's library) ends in\n"
    "        key=NAME remote=REMOTE, as LIRC would match it; bursts that a protocol of\n"
    "        the IRP table (built in, and protocols.irp in the data folder) reads are\n"
    "        named after it with its parameters (D=.. F=..) and its alternatives\n"
    "generate  the code of a protocol of the table for the parameters given (D=4 F=0x08;\n"
    "        those left out take their defaults), the key held for --repeats repeats (0):\n"
    "        ird: a capture with the code on channel 1; mode2: LIRC pulse/space text;\n"
    "        pronto: a learned Pronto code; lircd: a remote of raw codes; c: a C array\n"
    "protocols  the table: name, IRP and source of each protocol\n";

struct Failure {
    int status;
    QString message;
};

struct Arguments {
    QStringList files;
    QMap<QString, QString> options; // long name without dashes -> value
    QStringList flags;              // long names of the options given that take no value
    QStringList remoteFiles;        // every --remotes, in order
};

// Splits the words after the command into files and options. `known` lists the options the
// command takes with a value, `knownFlags` those without one; "-o" is short for "--output".
std::optional<Failure> parseArguments(const QStringList& words, const QStringList& known,
                                      const QStringList& knownFlags, Arguments& parsed) {
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString& word = words[i];
        if (word == QLatin1String("-o") || word.startsWith(QLatin1String("--"))) {
            QString name = word == QLatin1String("-o") ? QStringLiteral("output") : word.mid(2);
            std::optional<QString> value;
            if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
            }
            if (knownFlags.contains(name)) {
                if (value) {
                    return Failure{kExitUsage, QStringLiteral("--%1 takes no value").arg(name)};
                }
                if (!parsed.flags.contains(name)) {
                    parsed.flags << name;
                }
                continue;
            }
            if (name == QLatin1String("remotes") && known.contains(name)) {
                if (!value && i + 1 >= words.size()) {
                    return Failure{kExitUsage, QStringLiteral("%1 needs a value").arg(word)};
                }
                parsed.remoteFiles << (value ? *value : words[++i]);
                continue;
            }
            if (!known.contains(name)) {
                return Failure{kExitUsage, QStringLiteral("unknown option %1").arg(word)};
            }
            if (!value) {
                if (i + 1 >= words.size()) {
                    return Failure{kExitUsage, QStringLiteral("%1 needs a value").arg(word)};
                }
                value = words[++i];
            }
            if (parsed.options.contains(name)) {
                return Failure{kExitUsage, QStringLiteral("--%1 given twice").arg(name)};
            }
            parsed.options.insert(name, *value);
        } else if (word.startsWith(QLatin1Char('-')) && word.size() > 1) {
            return Failure{kExitUsage, QStringLiteral("unknown option %1").arg(word)};
        } else {
            parsed.files << word;
        }
    }
    if (parsed.files.size() != 1) {
        return Failure{kExitUsage, parsed.files.isEmpty()
                                       ? QStringLiteral("no capture file given")
                                       : QStringLiteral("give exactly one capture file")};
    }
    return std::nullopt;
}

// "1,3" -> {1, 3}: channel numbers 1 to 3, each at most once, at least one.
std::optional<Failure> parseChannelList(const QString& text, std::vector<int>& channels) {
    if (text.trimmed().isEmpty()) {
        return Failure{kExitUsage, QStringLiteral("the channel list is empty")};
    }
    for (const QString& item : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = item.trimmed().toInt(&ok);
        if (!ok || n < 1 || n > kChannelCount) {
            return Failure{kExitUsage,
                           QStringLiteral("no channel \"%1\": channels are 1, 2 and 3").arg(item)};
        }
        if (std::find(channels.begin(), channels.end(), n) != channels.end()) {
            return Failure{kExitUsage, QStringLiteral("channel %1 listed twice").arg(n)};
        }
        channels.push_back(n);
    }
    return std::nullopt;
}

// The remotes of every --remotes file, or without one those of the window's remote library when
// there is one; a file that LIRC would refuse is named with its line.
std::optional<Failure> loadRemotes(const Arguments& args, std::vector<LircRemote>& remotes,
                                   QStringList* warnings = nullptr) {
    QStringList files = args.remoteFiles;
    if (files.isEmpty() && QFileInfo::exists(RemoteLibrary::defaultPath())) {
        files << RemoteLibrary::defaultPath();
    }
    for (const QString& path : files) {
        if (auto error = readLircdConfFile(path, remotes, warnings)) {
            return Failure{kExitFailed, *error};
        }
    }
    return std::nullopt;
}

// The name of a key found by the matcher.
QString codeName(const std::vector<LircRemote>& remotes, const LircKey& key) {
    const LircRemote& r = remotes[static_cast<std::size_t>(key.remote)];
    const auto c = static_cast<std::size_t>(key.code);
    return key.raw ? r.rawCodes[c].name : r.codes[c].name;
}

struct Capture {
    std::unique_ptr<ChannelBuffer[]> buffers{new ChannelBuffer[kChannelCount]{}};
    qint64 fileSize = 0;
    const ChannelBuffer& channel(int number) const { return buffers[number - 1]; }
};

std::optional<Failure> loadCapture(const QString& path, Capture& capture) {
    const CaptureFileResult result =
        loadCaptureFile(path, capture.buffers[0], capture.buffers[1], capture.buffers[2]);
    if (!result.ok) {
        return Failure{kExitFailed, QStringLiteral("cannot read %1: %2").arg(path, result.error)};
    }
    capture.fileSize = QFileInfo(path).size();
    return std::nullopt;
}

// A key names file: a regular file of at most kMostNamesBytes, never a device or FIFO that could
// give bytes without end or keep the reader waiting. The reason when it cannot be read.
std::optional<QString> readNamesFile(const QString& path, QByteArray& text) {
    constexpr qint64 kMostNamesBytes = 1024 * 1024;
    BoundedRead read = readRegularFile(path, kMostNamesBytes);
    if (read.tooLarge) {
        return QStringLiteral("larger than 1 MiB, too large for a names file");
    }
    if (read.error) {
        return read.error;
    }
    text = std::move(read.bytes);
    return std::nullopt;
}

QString microseconds(std::optional<int64_t> samples) {
    return samples ? formatSampleTimeUs(*samples) + QStringLiteral(" us") : QStringLiteral("-");
}

int runInfo(const Arguments& args, QTextStream& out, Capture& capture) {
    const QString& path = args.files.front();
    out << "file             " << path << '\n';
    out << "size             " << capture.fileSize << " bytes, ";
    if (capture.fileSize == kCaptureFileBytes) {
        out << "a full capture\n";
    } else if (capture.fileSize < kCaptureFileBytes) {
        out << "short of a full capture (" << kCaptureFileBytes
            << " bytes): the missing bytes read as low samples\n";
    } else {
        out << "longer than a capture (" << kCaptureFileBytes
            << " bytes): only the first ones are read\n";
    }
    out << "samples          " << kCaptureSamples << " per channel, one every "
        << formatSampleTimeUs(1) << " us (" << formatSampleTimeUs(kCaptureSamples)
        << " us in all)\n";
    for (int number = 1; number <= kChannelCount; ++number) {
        const ChannelSummary s = summarize(channelLevels(capture.channel(number)));
        out << "channel " << number << '\n';
        out << "  edges          " << s.edges << '\n';
        out << "  high           " << microseconds(s.highSamples) << '\n';
        out << "  low            " << microseconds(s.lowSamples) << '\n';
        out << "  first edge     " << microseconds(s.firstEdge) << '\n';
        out << "  last edge      " << microseconds(s.lastEdge) << '\n';
        out << "  shortest pulse " << microseconds(s.shortestPulse);
        if (s.shortestPulse) {
            out << (s.shortestPulseHigh ? " (high)" : " (low)");
        }
        out << '\n';
        const std::vector<IrFrame> frames =
            decodeInfrared(channelLevels(capture.channel(number)), number, IrUnknownBursts::Listed);
        for (const infrared::IrCoding& c : infrared::codingsOf(frames)) {
            out << "  coding         " << infrared::codingText(c.like) << ' '
                << infrared::codingTimings(c.like) << ": " << c.frames << " frames, " << c.keys
                << " keys, " << c.repeats << " repeats\n";
        }
    }
    return kExitOk;
}

std::optional<Failure> runExport(const Arguments& args, QTextStream& out, QTextStream& err,
                                 Capture& capture) {
    const QString formatName = args.options.value(QStringLiteral("format"));
    if (!args.options.contains(QStringLiteral("format"))) {
        return Failure{kExitUsage,
                       QStringLiteral("give the format: --format vcd|sr|mode2|csv|lircd|pronto|c")};
    }
    const std::optional<ExportFormat> format = exportFormatFromName(formatName);
    if (!format) {
        return Failure{
            kExitUsage,
            QStringLiteral("unknown format \"%1\": use vcd, sr, mode2, csv, lircd, pronto or c")
                .arg(formatName)};
    }
    const QString output = args.options.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        return Failure{kExitUsage, QStringLiteral("give the output file: -o OUT")};
    }
    const bool oneChannel = exportFormatInfo(*format).oneChannel;
    KeyNames names;
    if (args.options.contains(QStringLiteral("names"))) {
        if (*format != ExportFormat::Lircd) {
            return Failure{kExitUsage, QStringLiteral("--names is for --format lircd")};
        }
        const QString namesPath = args.options.value(QStringLiteral("names"));
        QByteArray namesText;
        if (auto reason = readNamesFile(namesPath, namesText)) {
            return Failure{kExitFailed,
                           QStringLiteral("cannot read %1: %2").arg(namesPath, *reason)};
        }
        if (auto error = parseKeyNames(QString::fromUtf8(namesText), names)) {
            // A fault in the file, not in the command line: named by file and line, as the
            // lircd.conf reader names its faults ("names.txt:3: …").
            const QRegularExpressionMatch line =
                QRegularExpression(QStringLiteral("^line (\\d+): ")).match(*error);
            return Failure{kExitFailed, line.hasMatch()
                                            ? QStringLiteral("%1:%2: %3")
                                                  .arg(namesPath, line.captured(1),
                                                       error->mid(line.capturedLength()))
                                            : namesPath + QStringLiteral(": ") + *error};
        }
    }
    std::vector<LircRemote> remotes;
    if (auto failure = loadRemotes(args, remotes)) {
        return failure;
    }
    const LircMatcher matcher(remotes);
    // Keys are named as LIRC names them, each channel's frames (those exported) read as one
    // stream.
    std::map<std::pair<int, int64_t>, QString> libraryNames;
    if (!remotes.empty()) {
        names.library = [&libraryNames](const IrFrame& f) {
            const auto it = libraryNames.find({f.channel, f.startSample});
            return it == libraryNames.end() ? QString() : it->second;
        };
    }
    std::vector<int> numbers;
    if (args.options.contains(QStringLiteral("channels"))) {
        if (auto failure =
                parseChannelList(args.options.value(QStringLiteral("channels")), numbers)) {
            return failure;
        }
    } else if (oneChannel) {
        numbers = {1};
    } else {
        numbers = {1, 2, 3};
    }
    if (oneChannel && numbers.size() != 1) {
        return Failure{kExitUsage,
                       QStringLiteral("%1 carries one channel: --channels N").arg(formatName)};
    }
    const QString input = args.files.front();
    if (auto failure = loadCapture(input, capture)) {
        return failure;
    }
    // The view file sits beside the VCD under a derived name, which may be a file the user did
    // not mean; a view the user may have tuned in GTKWave is only replaced when asked.
    const ExportPlan plan = planExport(*format, output, input);
    switch (plan.refusal) {
    case ExportRefusal::None:
        break;
    case ExportRefusal::OutputIsCapture:
        return Failure{kExitUsage, QStringLiteral("the output would replace the capture file")};
    case ExportRefusal::ViewIsCapture:
        return Failure{kExitUsage,
                       QStringLiteral("the GTKWave view file %1 would replace the capture file")
                           .arg(plan.viewPath)};
    case ExportRefusal::ViewIsOutput:
        return Failure{
            kExitUsage,
            QStringLiteral("the GTKWave view file %1 would replace the VCD").arg(plan.viewPath)};
    }
    const QString& viewPath = plan.viewPath;
    const bool keepView = plan.viewExists && !args.flags.contains(QStringLiteral("force"));
    // The infrared exports write each channel's frames decoded once, as the window's frame list
    // holds them.
    const bool infraredFormat = *format == ExportFormat::Lircd || *format == ExportFormat::Pronto ||
                                *format == ExportFormat::C;
    std::optional<irp::ProtocolTable> table;
    if (infraredFormat) {
        table = irp::tableWithUserProtocols();
        for (const QString& e : table->errors) {
            err << kProgram << ": warning: " << irp::userProtocolsPath() << ": " << e << '\n';
        }
        err.flush();
    }
    std::vector<ExportChannel> channels;
    for (const int n : numbers) {
        ExportChannel channel(n, channelLevels(capture.channel(n)));
        if (table) {
            channel.frames = decodeChannelFrames(channel.line, n, *table);
            const std::vector<std::optional<LircKey>> keys = matcher.matchFrames(*channel.frames);
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (keys[i]) {
                    libraryNames[{n, (*channel.frames)[i].startSample}] =
                        codeName(remotes, *keys[i]);
                }
            }
        }
        channels.push_back(std::move(channel));
    }
    std::vector<OutputFile> files = exportFiles(*format, channels, output, names);
    if (*format == ExportFormat::Lircd && !names.byKey.isEmpty()) {
        QStringList warnings;
        files.front().bytes = exportLircd(channels.front(), names, &warnings);
        for (const QString& w : warnings) {
            err << kProgram << ": warning: " << w << '\n';
        }
        err.flush();
    }
    keepExistingView(files, plan, !keepView);
    if (auto error = writeFilesWhole(files)) {
        return Failure{kExitFailed, *error};
    }
    if (keepView) {
        out << "kept the existing GTKWave view file " << viewPath << " (--force replaces it)\n";
    } else if (!viewPath.isEmpty()) {
        out << "wrote the GTKWave view file " << viewPath << '\n';
    }
    return std::nullopt;
}

std::optional<Failure> runDecode(const Arguments& args, QTextStream& out, QTextStream& err,
                                 Capture& capture) {
    std::vector<int> numbers{1, 2, 3};
    if (args.options.contains(QStringLiteral("channel"))) {
        numbers.clear();
        const QString text = args.options.value(QStringLiteral("channel"));
        if (auto failure = parseChannelList(text, numbers)) {
            return failure;
        }
        if (numbers.size() != 1) {
            return Failure{kExitUsage, QStringLiteral("--channel takes one channel number")};
        }
    }
    std::vector<LircRemote> remotes;
    QStringList warnings;
    if (auto failure = loadRemotes(args, remotes, &warnings)) {
        return failure;
    }
    const LircMatcher matcher(remotes);
    if (auto failure = loadCapture(args.files.front(), capture)) {
        return failure;
    }
    for (const QString& w : warnings) {
        out << "# warning: " << w << '\n';
    }
    const irp::ProtocolTable table = irp::tableWithUserProtocols();
    for (const QString& e : table.errors) {
        err << kProgram << ": warning: " << irp::userProtocolsPath() << ": " << e << '\n';
    }
    err.flush();
    out << "# channel  time_us          protocol    address  command  check  notes\n";
    std::size_t total = 0;
    std::size_t unknown = 0;
    for (const int n : numbers) {
        const ChannelLevels levels = channelLevels(capture.channel(n));
        const std::vector<IrFrame> frames = irp::decodeWithProtocols(
            decodeInfrared(levels, n, IrUnknownBursts::Listed), levels, table);
        const std::vector<std::optional<LircKey>> keys = matcher.matchFrames(frames);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const IrFrame& f = frames[i];
            const bool named = !f.named.isEmpty();
            ++(f.protocol == IrProtocol::Unknown && !named ? unknown : total);
            const FrameText text = irp::shownFrameText(f);
            const QString key =
                keys[i] ? QStringLiteral(" key=%1 remote=%2")
                              .arg(codeName(remotes, *keys[i]),
                                   remotes[static_cast<std::size_t>(keys[i]->remote)].name)
                        : QString();
            out << QStringLiteral("  %1  %2 %3 %4 %5 %6 %7")
                       .arg(n, -7)
                       .arg(formatSampleTimeUs(f.startSample), -16)
                       .arg(text.protocol, -11)
                       .arg(text.address, -8)
                       .arg(text.command, -8)
                       .arg(text.check, -6)
                       .arg(text.notes + key)
                       .trimmed()
                       .prepend(QStringLiteral("  "))
                << '\n';
        }
    }
    if (unknown > 0) {
        out << "# " << unknown << " unknown frames (bursts no decoder claims)\n";
    }
    out << "# " << total << " frames and repeat codes\n";
    return std::nullopt;
}

std::optional<Failure> runImport(const Arguments& args, QTextStream& out) {
    std::optional<ImportFormat> format;
    if (args.options.contains(QStringLiteral("format"))) {
        const QString name = args.options.value(QStringLiteral("format"));
        format = importFormatFromName(name);
        if (!format) {
            return Failure{
                kExitUsage,
                QStringLiteral("unknown format \"%1\": use mode2, pronto, csv, vcd or sr")
                    .arg(name)};
        }
    }
    std::vector<int> numbers{1};
    if (args.options.contains(QStringLiteral("channel"))) {
        numbers.clear();
        if (auto failure =
                parseChannelList(args.options.value(QStringLiteral("channel")), numbers)) {
            return failure;
        }
        if (numbers.size() != 1) {
            return Failure{kExitUsage, QStringLiteral("--channel takes one channel number")};
        }
    }
    const QString output = args.options.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        return Failure{kExitUsage, QStringLiteral("give the output file: -o OUT.ird")};
    }
    const QString input = args.files.front();
    if (sameFile(output, input)) {
        return Failure{kExitUsage, QStringLiteral("the output would replace the imported file")};
    }
    Capture capture;
    if (args.options.contains(QStringLiteral("into"))) {
        if (auto failure = loadCapture(args.options.value(QStringLiteral("into")), capture)) {
            return failure;
        }
    }
    const ImportedCapture imported = importCaptureFile(input, format);
    if (!imported.line) {
        return Failure{kExitFailed, QStringLiteral("cannot import %1").arg(imported.error)};
    }
    const int channel = numbers.front();
    capture.buffers[channel - 1] = channelBufferOf(*imported.line);
    const CaptureFileResult saved =
        saveCaptureFile(output, capture.buffers[0], capture.buffers[1], capture.buffers[2]);
    if (!saved.ok) {
        return Failure{kExitFailed, QStringLiteral("cannot write %1: %2").arg(output, saved.error)};
    }
    out << "imported " << input << " into channel " << channel << " of " << output << ": "
        << imported.line->edges.size() << " edges\n";
    return std::nullopt;
}

// "D=4", "F=0x08": a parameter's name and value (decimal, 0x hexadecimal or 0b binary).
std::optional<Failure> parseParameter(const QString& word, irp::Values& values) {
    const qsizetype eq = word.indexOf(QLatin1Char('='));
    const QString name = word.left(eq).trimmed();
    QString text = word.mid(eq + 1).trimmed();
    int base = 10;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    } else if (text.startsWith(QLatin1String("0b"), Qt::CaseInsensitive)) {
        base = 2;
        text = text.mid(2);
    }
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, base);
    if (name.isEmpty() || !ok) {
        return Failure{kExitUsage,
                       QStringLiteral("bad parameter \"%1\": give NAME=VALUE").arg(word)};
    }
    values[name.toStdString()] = value;
    return std::nullopt;
}

std::optional<Failure> runGenerate(const QStringList& words, QTextStream& out) {
    QStringList rest;
    irp::Values values;
    for (const QString& word : words) {
        if (word.contains(QLatin1Char('=')) && !word.startsWith(QLatin1Char('-'))) {
            if (auto failure = parseParameter(word, values)) {
                return failure;
            }
        } else {
            rest << word;
        }
    }
    Arguments args;
    if (auto failure = parseArguments(
            rest, {QStringLiteral("format"), QStringLiteral("output"), QStringLiteral("repeats")},
            {}, args)) {
        if (args.files.isEmpty()) {
            return Failure{kExitUsage, QStringLiteral("give the protocol")};
        }
        return failure;
    }
    const irp::ProtocolTable table = irp::tableWithUserProtocols();
    const irp::CompiledProtocol* protocol = table.find(args.files.front());
    if (protocol == nullptr) {
        return Failure{kExitUsage,
                       QStringLiteral("unknown protocol \"%1\" (velmoran-ird protocols lists them)")
                           .arg(args.files.front())};
    }
    static const QStringList kFormats{QStringLiteral("ird"), QStringLiteral("mode2"),
                                      QStringLiteral("pronto"), QStringLiteral("lircd"),
                                      QStringLiteral("c")};
    const QString format = args.options.value(QStringLiteral("format"));
    if (!kFormats.contains(format)) {
        return Failure{kExitUsage,
                       QStringLiteral("give the format: --format ird|mode2|pronto|lircd|c")};
    }
    const QString output = args.options.value(QStringLiteral("output"));
    if (output.isEmpty()) {
        return Failure{kExitUsage, QStringLiteral("give the output file: -o OUT")};
    }
    int repeats = 0;
    if (args.options.contains(QStringLiteral("repeats"))) {
        bool ok = false;
        repeats = args.options.value(QStringLiteral("repeats")).toInt(&ok);
        if (!ok || repeats < 0) {
            return Failure{kExitUsage, QStringLiteral("--repeats takes a whole number, 0 or more")};
        }
    }
    for (const auto& [name, value] : values) {
        if (protocol->protocol.parameter(name) == nullptr) {
            return Failure{kExitUsage, QStringLiteral("%1 has no parameter %2")
                                           .arg(protocol->name, QString::fromStdString(name))};
        }
    }
    const irp::Rendered rendered = irp::render(protocol->protocol, values);
    if (!rendered.signal) {
        return Failure{kExitUsage, QStringLiteral("%1: %2").arg(protocol->name, rendered.error)};
    }
    const irp::Signal& signal = *rendered.signal;
    const std::vector<double> press = pressDurations(signal, repeats);
    QStringList words2;
    irp::Values all = values;
    irp::completeValues(protocol->protocol, all);
    for (const irp::ParameterSpec& p : protocol->protocol.parameters) {
        words2 << QStringLiteral("%1%2").arg(QString::fromStdString(p.name)).arg(all[p.name]);
    }
    const QString key = protocol->name + QLatin1Char('_') + words2.join(QLatin1Char('_'));
    QByteArray bytes;
    if (format == QLatin1String("ird")) {
        Capture capture;
        for (int n = 0; n < kChannelCount; ++n) {
            capture.buffers[n].fill(0xFF);
        }
        if (auto error = sampleInto(press, capture.buffers[0])) {
            return Failure{kExitFailed, *error};
        }
        const CaptureFileResult saved =
            saveCaptureFile(output, capture.buffers[0], capture.buffers[1], capture.buffers[2]);
        if (!saved.ok) {
            return Failure{kExitFailed,
                           QStringLiteral("cannot write %1: %2").arg(output, saved.error)};
        }
        out << "wrote " << output << ": " << protocol->name << ' ' << words2.join(u' ')
            << " on channel 1\n";
        return std::nullopt;
    }
    if (format == QLatin1String("mode2")) {
        bytes = generatedMode2(press);
    } else if (format == QLatin1String("pronto")) {
        bytes = generatedPronto(signal).toUtf8() + '\n';
    } else if (format == QLatin1String("lircd")) {
        bytes = generatedLircd(protocol->name, key, signal);
    } else {
        bytes = writeCArrays("Made by velmoran-ird generate: marks at even indices, spaces at odd "
                             "ones, in microseconds.",
                             {{key, {}, signal.frequencyHz, press}});
    }
    if (auto error = writeFilesWhole({OutputFile{output, bytes}})) {
        return Failure{kExitFailed, *error};
    }
    out << "wrote " << output << '\n';
    return std::nullopt;
}

void runProtocols(QTextStream& out) {
    const irp::ProtocolTable table = irp::tableWithUserProtocols();
    for (const auto& p : table.protocols()) {
        out << p->name << '\t' << p->irp << '\t' << p->source << '\n';
    }
}

} // namespace

int runIrd(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const auto fail = [&](const Failure& f) {
        err << kProgram << ": " << f.message << '\n';
        if (f.status == kExitUsage) {
            err << kUsage;
        }
        err.flush();
        out.flush();
        return f.status;
    };
    if (arguments.isEmpty()) {
        return fail({kExitUsage, QStringLiteral("no command given")});
    }
    const QString command = arguments.front();
    if (command == QLatin1String("help") || command == QLatin1String("--help") ||
        command == QLatin1String("-h")) {
        out << kUsage;
        out.flush();
        return kExitOk;
    }
    if (command == QLatin1String("generate")) {
        if (auto failure = runGenerate(arguments.mid(1), out)) {
            return fail(*failure);
        }
        out.flush();
        return kExitOk;
    }
    if (command == QLatin1String("protocols")) {
        runProtocols(out);
        out.flush();
        return kExitOk;
    }
    QStringList known;
    QStringList knownFlags;
    if (command == QLatin1String("export")) {
        known = {QStringLiteral("format"), QStringLiteral("channels"), QStringLiteral("output"),
                 QStringLiteral("names"), QStringLiteral("remotes")};
        knownFlags = {QStringLiteral("force")};
    } else if (command == QLatin1String("decode")) {
        known = {QStringLiteral("channel"), QStringLiteral("remotes")};
    } else if (command == QLatin1String("import")) {
        known = {QStringLiteral("format"), QStringLiteral("channel"), QStringLiteral("into"),
                 QStringLiteral("output")};
    } else if (command != QLatin1String("info")) {
        return fail({kExitUsage, QStringLiteral("unknown command \"%1\"").arg(command)});
    }
    Arguments args;
    if (auto failure = parseArguments(arguments.mid(1), known, knownFlags, args)) {
        return fail(*failure);
    }
    Capture capture;
    std::optional<Failure> failure;
    if (command == QLatin1String("info")) {
        failure = loadCapture(args.files.front(), capture);
        if (!failure) {
            runInfo(args, out, capture);
        }
    } else if (command == QLatin1String("export")) {
        failure = runExport(args, out, err, capture);
    } else if (command == QLatin1String("import")) {
        failure = runImport(args, out);
    } else {
        failure = runDecode(args, out, err, capture);
    }
    if (failure) {
        return fail(*failure);
    }
    out.flush();
    return kExitOk;
}

} // namespace velmoran::interchange
