#pragma once

// The board's byte stream on a line: paced like the board, like the 57600-baud line, or as fast
// as possible, written from a thread of its own into a pseudo-terminal or a serial device.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmoran::emulator {

enum class Pace {
    Board, // one byte every 8 samples: 8 x 40.1474 us, about 3,113.5 bytes/s
    Line,  // the 57600-baud limit: 10 bits per byte, 5,760 bytes/s
    Max,   // as fast as the reader takes them
};

// "board", "line" or "max".
std::optional<Pace> parsePace(std::string_view text);
std::string_view paceName(Pace pace);

// Bytes per second of a pace (0 for Max: unlimited).
double bytesPerSecond(Pace pace);

// Bytes due `elapsedUs` microseconds after the stream started, at a paced rate.
std::size_t bytesDue(Pace pace, double elapsedUs);

// Capture `index` of the stream with seed `seed`: the stream is capture 0, 1, 2, ... one after
// the other, capture i being the default scenario of seed + i.
std::vector<uint8_t> streamCapture(uint32_t seed, std::size_t index, double jitterUs = 0.0);

// A pseudo-terminal made for the emulator: the program opens slavePath() as its serial port,
// the emulator writes into the master. The slave is set raw so every byte passes unaltered.
class PseudoTerminal {
public:
    PseudoTerminal(); // throws std::runtime_error when no pseudo-terminal can be made
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }

private:
    int master_ = -1;
    std::string slavePath_;
};

// Opens a serial device for writing at 57600 8N1, raw, no flow control; -1 and errno on failure.
int openSerialDevice(const std::string& path);

struct StreamOptions {
    uint32_t seed = 1;
    double jitterUs = 0.0;
    Pace pace = Pace::Board;
    // On a pseudo-terminal: start a fresh capture each time the program opens the port and
    // stop when it closes it (bytes the program left unread are discarded). A program that
    // discards its input right after opening (as Velmoran does) is seen reopening however fast
    // it closes and opens again; for any other program the emulator waits readerSettleMs after
    // an opening before it sends. Off for a device, which streams from the start without a
    // break, as the board does.
    bool followReader = true;
    int readerSettleMs = 100;
    // A paced writer wakes this often and writes what has fallen due, much as a serial port
    // hands the bytes over in bursts (4 ms: about 12 bytes at the board's pace; a USB adapter
    // with a 16 ms latency timer sends about 50 at a time).
    int burstUs = 4000;
    // Stop after this many whole captures have been written (0: never).
    std::size_t captureLimit = 0;
};

// Streams the board's bytes into `fd` on a thread of its own until stopped (or the capture
// limit is reached). On a pseudo-terminal, connection n (from 0) receives captures n, n+1, ...
class BoardStreamer {
public:
    // `fd` stays owned by the caller; `slavePath` (pseudo-terminal only) is used to discard
    // bytes the program left unread when it closed the port.
    BoardStreamer(int fd, std::string slavePath, StreamOptions options);
    ~BoardStreamer();
    BoardStreamer(const BoardStreamer&) = delete;
    BoardStreamer& operator=(const BoardStreamer&) = delete;

    void stop();
    // True while waiting for the program to open the port (never for a device).
    bool waitingForReader() const { return waiting_.load(); }
    // Times the program has opened the port so far.
    std::size_t connections() const { return connections_.load(); }
    std::size_t bytesWritten() const { return bytesWritten_.load(); }
    std::size_t capturesWritten() const { return capturesWritten_.load(); }
    // True once the capture limit has been reached or the line failed.
    bool finished() const { return finished_.load(); }
    // CPU time the streaming thread has used so far, in seconds (exact after stop()).
    double threadCpuSeconds() const { return threadCpuSeconds_.load(); }

private:
    // What the pseudo-terminal's master reports about its reader.
    enum class ReaderChange {
        None,     // the same reader is still there
        Closed,   // no one has the port open
        Reopened, // the port was opened (again) and its input discarded by the reader
    };

    void run();
    // Streams captures from `firstCapture` until the reader goes away, stop, or the limit.
    // Returns true when the reader has already opened the port again.
    bool streamConnection(std::size_t firstCapture);
    // Waits until a newly present reader has discarded its input, or the settle time passed;
    // false when it went away meanwhile.
    bool awaitReader();
    ReaderChange readerChange(int timeoutMs, short writeEvents);
    bool readerPresent() const;
    void discardUnread();

    int fd_;
    std::string slavePath_;
    StreamOptions options_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::size_t> connections_{0};
    std::atomic<std::size_t> bytesWritten_{0};
    std::atomic<std::size_t> capturesWritten_{0};
    std::atomic<double> threadCpuSeconds_{0.0};
    std::thread thread_;
};

} // namespace velmoran::emulator
