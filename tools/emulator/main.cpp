// velmoran-emulator: the sampler board on a serial line. By default it creates a
// pseudo-terminal, prints its path and sends the board's byte stream whenever a program has it
// open (each opening starts a fresh capture); with --device it streams into a serial device;
// with --output it writes captures into a file and ends.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "core/whole_file.h"
#include "files/program_start.h"
#include "tools/emulator/board_emulator.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran::emulator;

namespace {

constexpr char kUsage[] =
    "usage: velmoran-emulator [--pace board|line|max] [--seed N] [--jitter US] [--burst MS]\n"
    "                         [--device PATH | --output FILE] [--captures N]\n"
    "\n"
    "Sends the sampler board's byte stream: one sample every 40.1474 us, eight samples per\n"
    "byte, earliest sample in bit 7, of an infrared receiver line carrying NEC key presses.\n"
    "\n"
    "  (default)       create a pseudo-terminal and print its path; each time a program\n"
    "                  opens it, stream a fresh capture (seed, seed+1, ...) until it closes\n"
    "  --device PATH   stream into a serial device at 57600 8N1 without a break\n"
    "  --output FILE   write --captures captures (default 1) into FILE at once and end\n"
    "  --pace P        board: one byte every 8 x 40.1474 us (about 3,113.5 bytes/s, default)\n"
    "                  line: the 57600-baud limit (5,760 bytes/s); max: as fast as possible\n"
    "  --seed N        the key presses of capture 0 (default 1)\n"
    "  --jitter US     move each edge by up to US microseconds (default 0)\n"
    "  --burst MS      paced bytes go out in bursts this many ms apart (default 4)\n"
    "  --captures N    stop after N whole captures (device and file; default: unlimited, 1)\n";

struct Options {
    StreamOptions stream;
    std::string device;
    std::string output;
    std::optional<std::size_t> captures;
};

std::optional<unsigned long> number(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const std::string s(text);
    const unsigned long v = std::strtoul(s.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || s[0] == '-') {
        return std::nullopt;
    }
    return v;
}

// The options of the command line; each takes a value.
constexpr std::string_view kValueOptions[] = {"--pace",   "--seed",   "--jitter",  "--burst",
                                              "--device", "--output", "--captures"};

bool takesValue(std::string_view arg) {
    return std::find(std::begin(kValueOptions), std::end(kValueOptions), arg) !=
           std::end(kValueOptions);
}

// Parses the command line; prints the problem and returns nothing when it is wrong.
std::optional<Options> parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (!takesValue(arg)) {
            std::cerr << "velmoran-emulator: unknown option " << arg << "\n" << kUsage;
            return std::nullopt;
        }
        if (i + 1 >= argc) {
            std::cerr << "velmoran-emulator: " << arg << " needs a value\n" << kUsage;
            return std::nullopt;
        }
        const std::string_view value = argv[++i];
        if ((arg == "--device" || arg == "--output") && !velmoran::argumentText(argv[i])) {
            std::cerr << "velmoran-emulator: "
                      << velmoran::unrepresentableArgumentText(argv[i]).toStdString() << "\n";
            return std::nullopt;
        }
        if (arg == "--pace") {
            const auto pace = parsePace(value);
            if (!pace) {
                std::cerr << "velmoran-emulator: unknown pace " << value << "\n";
                return std::nullopt;
            }
            o.stream.pace = *pace;
        } else if (arg == "--seed") {
            const auto v = number(value);
            if (!v || *v > 0xFFFFFFFFul) {
                std::cerr << "velmoran-emulator: bad seed " << value << "\n";
                return std::nullopt;
            }
            o.stream.seed = static_cast<uint32_t>(*v);
        } else if (arg == "--jitter") {
            char* end = nullptr;
            const std::string s(value);
            const double j = std::strtod(s.c_str(), &end);
            if (*end != '\0' || !(j >= 0.0) || j > 1000.0) {
                std::cerr << "velmoran-emulator: bad jitter " << value << " (0 to 1000 us)\n";
                return std::nullopt;
            }
            o.stream.jitterUs = j;
        } else if (arg == "--burst") {
            const auto v = number(value);
            if (!v || *v == 0 || *v > 1000) {
                std::cerr << "velmoran-emulator: bad burst " << value << " (1 to 1000 ms)\n";
                return std::nullopt;
            }
            o.stream.burstUs = static_cast<int>(*v) * 1000;
        } else if (arg == "--device") {
            o.device = value;
        } else if (arg == "--output") {
            o.output = value;
        } else if (arg == "--captures") {
            const auto v = number(value);
            if (!v || *v == 0) {
                std::cerr << "velmoran-emulator: bad capture count " << value << "\n";
                return std::nullopt;
            }
            o.captures = *v;
        } else {
            std::cerr << "velmoran-emulator: unknown option " << arg << "\n" << kUsage;
            return std::nullopt;
        }
    }
    if (!o.device.empty() && !o.output.empty()) {
        std::cerr << "velmoran-emulator: --device and --output exclude each other\n";
        return std::nullopt;
    }
    return o;
}

// Writes into a FIFO or a device (/dev/stdout) as it goes: there is no file there to keep.
int writeStream(const Options& o) {
    std::ofstream out(o.output, std::ios::binary);
    const std::size_t count = o.captures.value_or(1);
    for (std::size_t i = 0; out && i < count; ++i) {
        const std::vector<uint8_t> bytes = streamCapture(o.stream.seed, i, o.stream.jitterUs);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    out.close();
    if (!out) {
        std::cerr << "velmoran-emulator: cannot write " << o.output << "\n";
        return 1;
    }
    return 0;
}

// Writes the captures through a temporary file that replaces FILE only once all of it is
// written: a full disk or a size limit leaves an existing FILE as it was.
int writeFile(const Options& o) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(o.output));
    if (const QFileInfo target(path); target.exists() && !target.isFile()) {
        return writeStream(o);
    }
    QSaveFile out(path);
    std::optional<QString> reason = velmoran::openWholeFile(out);
    const std::size_t count = o.captures.value_or(1);
    for (std::size_t i = 0; !reason && i < count; ++i) {
        const std::vector<uint8_t> bytes = streamCapture(o.stream.seed, i, o.stream.jitterUs);
        reason =
            velmoran::writeWhole(out, QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                                     static_cast<qsizetype>(bytes.size())));
    }
    if (!reason) {
        reason = velmoran::commitWhole(out);
    }
    if (reason) {
        std::cerr << "velmoran-emulator: cannot write " << o.output << ": " << reason->toStdString()
                  << "\n";
        return 1;
    }
    return 0;
}

// Blocks SIGINT and SIGTERM in every thread; the main thread then waits for them.
sigset_t blockStopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    return set;
}

// Waits for a stop signal, or for the streamer to finish by itself.
void serve(BoardStreamer& streamer, const sigset_t& stopSignals) {
    const timespec poll{0, 100'000'000};
    while (!streamer.finished()) {
        if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) {
            break;
        }
    }
    streamer.stop();
}

} // namespace

int main(int argc, char** argv) {
    velmoran::ignoreFileSizeSignal();
    const std::optional<Options> options = parse(argc, argv);
    if (!options) {
        return 2;
    }
    Options o = *options;
    if (!o.output.empty()) {
        return writeFile(o);
    }
    const sigset_t stopSignals = blockStopSignals();
    if (!o.device.empty()) {
        const int fd = openSerialDevice(o.device);
        if (fd < 0) {
            std::cerr << "velmoran-emulator: cannot open " << o.device << ": "
                      << std::strerror(errno) << "\n";
            return 1;
        }
        o.stream.followReader = false;
        o.stream.captureLimit = o.captures.value_or(0);
        std::cout << "velmoran-emulator: streaming into " << o.device << " at pace "
                  << paceName(o.stream.pace) << std::endl;
        BoardStreamer streamer(fd, {}, o.stream);
        serve(streamer, stopSignals);
        ::close(fd);
        return 0;
    }
    if (o.captures) {
        std::cerr << "velmoran-emulator: --captures goes with --device or --output\n";
        return 2;
    }
    PseudoTerminal pty;
    std::cout << pty.slavePath() << std::endl;
    std::cerr << "velmoran-emulator: open " << pty.slavePath() << " as the serial port (pace "
              << paceName(o.stream.pace) << "); Ctrl+C ends\n";
    BoardStreamer streamer(pty.masterFd(), pty.slavePath(), o.stream);
    serve(streamer, stopSignals);
    return 0;
}
