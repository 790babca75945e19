// The board emulator and a reader that closes the port after each capture and opens it again at
// once: every opening gets the next capture of the stream, from its first byte.

#include <gtest/gtest.h>

#include "support/pty_pair.h"

#include <vector>

#include "acquisition/mscomm.h"
#include "app/constants.h"
#include "tools/emulator/board_stream.h"

using namespace velmoran;
using velmoran::test::waitUntil;

namespace {

constexpr uint32_t kSeed = 77;
constexpr int kCaptures = 100;

TEST(EmulatorReconnect, HundredBackToBackCapturesEachGetTheNextCaptureOfTheStream) {
    emulator::PseudoTerminal pty;
    emulator::BoardStreamer streamer(pty.masterFd(), pty.slavePath(),
                                     {.seed = kSeed, .pace = emulator::Pace::Max});
    MSComm comm(
        [&](int port) { return port == 1 ? QString::fromStdString(pty.slavePath()) : QString(); });
    comm.setRThreshold(kBlockBytes);
    comm.setSettings(QStringLiteral("57600,n,8,1"));
    comm.setInputLen(kBlockBytes);
    QByteArray capture;
    bool done = false;
    // As the window does: the 62nd block closes the port from inside the event.
    QObject::connect(&comm, &MSComm::OnComm, &comm, [&] {
        if (comm.CommEvent() != MSComm::comEvReceive || done) {
            return;
        }
        capture += comm.Input();
        if (capture.size() == kCaptureBytes) {
            comm.setPortOpen(false);
            done = true;
        }
    });

    std::vector<int> wrong;
    for (int i = 0; i < kCaptures; ++i) {
        capture.clear();
        done = false;
        comm.setInBufferCount(0);
        comm.setPortOpen(true); // at once: no waiting for the emulator to notice the close
        ASSERT_TRUE(waitUntil([&] { return done; }, 20000)) << "capture " << i;
        const std::vector<uint8_t> expected = emulator::streamCapture(kSeed, i);
        if (!std::equal(expected.begin(), expected.end(),
                        reinterpret_cast<const uint8_t*>(capture.constData()))) {
            wrong.push_back(i);
        }
    }
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " of " << kCaptures
                               << " captures were not the next of the stream, first "
                               << wrong.front();
    EXPECT_EQ(streamer.connections(), static_cast<std::size_t>(kCaptures));
}

} // namespace
