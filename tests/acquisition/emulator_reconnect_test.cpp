// The board emulator and a reader that closes the port after each capture and opens it again at
// once: every opening gets the next capture of the stream, from its first byte.

#include <gtest/gtest.h>

#include "support/pty_pair.h"

#include <vector>

#include "acquisition/mscomm.h"
#include "core/constants.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;
using velmoran::test::waitUntil;

namespace {

constexpr uint32_t kSeed = 77;
constexpr std::size_t kCaptures = 100;

TEST(EmulatorReconnect, HundredBackToBackCapturesEachGetTheNextCaptureOfTheStream) {
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer(pty.masterFd(), pty.slavePath(),
                                     {.seed = kSeed, .pace = emulator::Pace::Max});
    MSComm comm(
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); });
    comm.setRThreshold(kBlockBytes);
    comm.setSettings(QStringLiteral("57600,n,8,1"));
    comm.setInputLen(kBlockBytes);
    std::vector<QByteArray> captures;
    QByteArray capture;
    // As the window does, the 62nd block closes the port from inside the event; the next
    // capture opens it again right there, before the emulator can have looked.
    QObject::connect(&comm, &MSComm::OnComm, &comm, [&] {
        if (comm.CommEvent() != MSComm::comEvReceive || !comm.PortOpen()) {
            return;
        }
        capture += comm.Input();
        if (capture.size() < kCaptureBytes) {
            return;
        }
        comm.setPortOpen(false);
        captures.push_back(capture);
        capture.clear();
        if (captures.size() < kCaptures) {
            comm.setInBufferCount(0);
            comm.setPortOpen(true);
        }
    });
    comm.setPortOpen(true);
    ASSERT_TRUE(waitUntil([&] { return captures.size() == kCaptures; }, 120000))
        << captures.size() << " captures";

    std::vector<std::size_t> wrong;
    for (std::size_t i = 0; i < captures.size(); ++i) {
        const std::vector<uint8_t> expected = emulator::streamCapture(kSeed, i);
        if (!std::equal(expected.begin(), expected.end(),
                        reinterpret_cast<const uint8_t*>(captures[i].constData()))) {
            wrong.push_back(i);
        }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << kCaptures
                               << " captures were not the next of the stream, first "
                               << wrong.front();
    EXPECT_EQ(streamer.connections(), kCaptures);
}

} // namespace
