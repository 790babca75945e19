#include "tools/emulator/board_stream.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "tools/emulator/board_emulator.h"

namespace velmoran::emulator {

namespace {

constexpr double kBitsPerLineByte = 10.0; // start bit, 8 data bits, stop bit
constexpr double kLineBaud = 57600.0;
// Longest wait in a poll, so that stop() and a closing reader are noticed promptly.
constexpr int kPollMs = 20;
constexpr std::size_t kMaxWrite = 4096;
// Writes to a reader that may reopen at any moment stay below the 255 bytes a reader waiting
// for a block's bytes needs before it reads: a chunk that slips in after the reader's reopening
// is then discarded before the reader can have read any of it.
constexpr std::size_t kReaderWrite = 254;
// How often a pseudo-terminal is checked for a program opening it.
constexpr auto kReaderLook = std::chrono::milliseconds(2);

bool setRaw57600(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    cfsetispeed(&tio, B57600);
    cfsetospeed(&tio, B57600);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

double threadCpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

} // namespace

std::optional<Pace> parsePace(std::string_view text) {
    if (text == "board") {
        return Pace::Board;
    }
    if (text == "line") {
        return Pace::Line;
    }
    if (text == "max") {
        return Pace::Max;
    }
    return std::nullopt;
}

std::string_view paceName(Pace pace) {
    switch (pace) {
    case Pace::Board:
        return "board";
    case Pace::Line:
        return "line";
    case Pace::Max:
        return "max";
    }
    return "board";
}

double bytesPerSecond(Pace pace) {
    switch (pace) {
    case Pace::Board:
        return 1e6 / (kSamplesPerByte * kBoardSamplePeriodUs);
    case Pace::Line:
        return kLineBaud / kBitsPerLineByte;
    case Pace::Max:
        return 0.0;
    }
    return 0.0;
}

std::size_t bytesDue(Pace pace, double elapsedUs) {
    if (pace == Pace::Max || elapsedUs <= 0.0) {
        return 0;
    }
    return static_cast<std::size_t>(std::floor(elapsedUs * 1e-6 * bytesPerSecond(pace)));
}

std::vector<uint8_t> streamCapture(uint32_t seed, std::size_t index, double jitterUs) {
    return renderCapture(defaultScenario(seed + static_cast<uint32_t>(index), jitterUs));
}

PseudoTerminal::PseudoTerminal() {
    int slave = -1;
    char name[256] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("cannot create a pseudo-terminal");
    }
    // The line settings stay with the terminal while the master is open, so the program finds
    // it raw even before it sets it up itself.
    setRaw57600(slave);
    // Closed here, so that the master sees when the program opens and closes the port.
    ::close(slave);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    slavePath_ = name;
}

PseudoTerminal::~PseudoTerminal() {
    if (master_ >= 0) {
        ::close(master_);
    }
}

int openSerialDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    if (!setRaw57600(fd)) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
    return fd;
}

BoardStreamer::BoardStreamer(int fd, std::string slavePath, StreamOptions options)
    : fd_(fd), slavePath_(std::move(slavePath)), options_(options) {
    waiting_ = options_.followReader;
    if (options_.followReader) {
        // Packet mode: the master learns when the reader discards its input (see readerChange).
        int on = 1;
        ::ioctl(fd_, TIOCPKT, &on);
    }
    thread_ = std::thread(&BoardStreamer::run, this);
}

BoardStreamer::~BoardStreamer() {
    stop();
}

void BoardStreamer::stop() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool BoardStreamer::readerPresent() const {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, 0) < 0) {
        return true;
    }
    // The master of a pseudo-terminal reports a hang-up while no one has the slave open.
    return (p.revents & POLLHUP) == 0;
}

BoardStreamer::ReaderChange BoardStreamer::readerChange(int timeoutMs, short writeEvents) {
    pollfd p{fd_, static_cast<short>(POLLIN | writeEvents), 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
        return ReaderChange::None;
    }
    // In packet mode the master reads a status byte when the slave discarded its input: the
    // one event that tells a close followed at once by an opening from no change at all.
    bool discarded = false;
    if (p.revents & POLLIN) {
        uint8_t packet[kMaxWrite];
        ssize_t n = 0;
        while ((n = ::read(fd_, packet, sizeof packet)) > 0) {
            discarded = discarded || (packet[0] & TIOCPKT_FLUSHREAD) != 0;
        }
    }
    if (!readerPresent()) {
        return ReaderChange::Closed;
    }
    return discarded ? ReaderChange::Reopened : ReaderChange::None;
}

bool BoardStreamer::awaitReader() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(options_.readerSettleMs);
    while (!stop_) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return true; // a reader that keeps what was queued before it opened the port
        }
        if (const ReaderChange change =
                readerChange(static_cast<int>(std::min<long long>(left, kPollMs)), 0);
            change != ReaderChange::None) {
            return change == ReaderChange::Reopened;
        }
    }
    return false;
}

void BoardStreamer::discardUnread() {
    // Bytes the program left unread stay queued on the slave and would open its next capture;
    // only a flush from the slave side drops them.
    if (slavePath_.empty()) {
        return;
    }
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        tcflush(fd, TCIFLUSH);
        ::close(fd);
    }
    // Our own flush is reported on the master like a reader's: take that report away.
    uint8_t packet[kMaxWrite];
    while (::read(fd_, packet, sizeof packet) > 0) {
    }
}

void BoardStreamer::run() {
    if (!options_.followReader) {
        streamConnection(0);
        finished_ = true;
    } else {
        bool reopened = false;
        while (!stop_ && !finished_) {
            if (!reopened) {
                waiting_ = true;
                // A hang-up is reported at once and the slave opening wakes no one: look again
                // a few milliseconds later rather than spin.
                threadCpuSeconds_ = threadCpuNow();
                if (!readerPresent()) {
                    std::this_thread::sleep_for(kReaderLook);
                    continue;
                }
                if (stop_ || !awaitReader()) {
                    continue;
                }
            }
            const std::size_t connection = connections_.fetch_add(1);
            waiting_ = false;
            reopened = streamConnection(connection);
            discardUnread();
        }
        waiting_ = false;
    }
    threadCpuSeconds_ = threadCpuNow();
}

bool BoardStreamer::streamConnection(std::size_t firstCapture) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    std::size_t sent = 0; // bytes of this connection
    std::size_t index = firstCapture;
    std::vector<uint8_t> capture = streamCapture(options_.seed, index, options_.jitterUs);
    std::size_t pos = 0;
    while (!stop_) {
        threadCpuSeconds_ = threadCpuNow();
        if (options_.followReader) {
            // Looked at right before every write, so that no byte meant for this connection
            // goes to the next one.
            if (const ReaderChange change = readerChange(0, 0); change != ReaderChange::None) {
                return change == ReaderChange::Reopened;
            }
        }
        if (pos == capture.size()) {
            capturesWritten_.fetch_add(1);
            if (options_.captureLimit != 0 && capturesWritten_.load() >= options_.captureLimit) {
                finished_ = true;
                return false;
            }
            capture = streamCapture(options_.seed, ++index, options_.jitterUs);
            pos = 0;
        }
        std::size_t want =
            std::min(options_.followReader ? kReaderWrite : kMaxWrite, capture.size() - pos);
        if (options_.pace != Pace::Max) {
            const double elapsedUs =
                std::chrono::duration<double, std::micro>(Clock::now() - start).count();
            const std::size_t due = bytesDue(options_.pace, elapsedUs);
            want = std::min(want, due > sent ? due - sent : 0);
            if (want == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(options_.burstUs));
                continue;
            }
        }
        const ssize_t n = ::write(fd_, capture.data() + pos, want);
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                // The reader is behind: wait for room, or for the reader to go or come again.
                if (!options_.followReader) {
                    pollfd p{fd_, POLLOUT, 0};
                    ::poll(&p, 1, kPollMs);
                    continue;
                }
                if (const ReaderChange change = readerChange(kPollMs, POLLOUT);
                    change != ReaderChange::None) {
                    return change == ReaderChange::Reopened;
                }
                continue;
            }
            finished_ = true; // the line itself failed (a device unplugged)
            return false;
        }
        pos += static_cast<std::size_t>(n);
        sent += static_cast<std::size_t>(n);
        bytesWritten_.fetch_add(static_cast<std::size_t>(n));
    }
    return false;
}

} // namespace velmoran::emulator
