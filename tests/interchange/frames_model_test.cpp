// The frames model during a capture: decoding only what arrived since the frames settled gives,
// block after block, the frames a whole decoding of the stored line gives, and at the end the
// frames the generator sent (its truth), for every family and an unknown remote; the data of an
// older capture beyond the stored bytes is never listed; keys follow the library.

#include <gtest/gtest.h>

#include "support/case_name.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>

#include "core/channel_levels.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/frames_model.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

struct ArrivalCase {
    std::string name;
    irgen::Family family;
    int blocksPerUpdate; // blocks stored between two live updates
};

class FramesArriving : public ::testing::TestWithParam<ArrivalCase> {};

// What the list shows of a frame.
std::tuple<int64_t, int64_t, IrProtocol, uint32_t, uint32_t, std::vector<bool>>
shown(const IrFrame& f) {
    return {f.startSample, f.endSample, f.protocol, f.address, f.command, f.analysis.bits};
}

TEST_P(FramesArriving, BlockByBlockAsAWholeDecodingAndAsSent) {
    irgen::Options o;
    o.jitter = 0.05;
    o.seed = 11;
    const irgen::Generated sent = irgen::generate(GetParam().family, o);
    const ChannelBuffer captured = irgen::renderChannel(sent);
    // Channel 2 holds an older capture of another remote until the new bytes overwrite it.
    ChannelBuffer older = irgen::renderChannel(irgen::generate(irgen::Family::Rc5, o));
    ChannelBuffer empty{};
    empty.fill(0xFF);
    FramesModel model({&empty, &older, &empty});
    QSignalSpy changed(&model, &FramesModel::changed);
    model.decodeAll();
    ASSERT_FALSE(model.frames(2).empty());

    model.startCapture(2);
    EXPECT_TRUE(model.frames(2).empty());
    EXPECT_EQ(model.reachedSample(2), 0);
    changed.clear();
    const int step = GetParam().blocksPerUpdate;
    std::size_t settled = 0; // the most frames an update kept
    for (int blocks = step;; blocks = std::min(blocks + step, kBlocksPerCapture)) {
        const int bytes = blocks * kBlockBytes;
        std::copy_n(captured.begin(), bytes, older.begin());
        const std::size_t before = model.frames(2).size();
        const std::vector<IrFrame> kept(
            model.frames(2).begin(),
            model.frames(2).begin() +
                static_cast<std::ptrdiff_t>(std::min(before, model.frames(2).size())));
        // Frames that need the whole protocol table before it is prepared wait for it.
        for (int wait = 0; !model.decodeArrived(2, bytes); ++wait) {
            ASSERT_LT(wait, 20);
            ASSERT_TRUE(changed.isEmpty());
            QCoreApplication::processEvents();
        }
        ASSERT_EQ(changed.size(), 1);
        EXPECT_EQ(changed.takeFirst().at(0).toInt(), 2);
        EXPECT_EQ(model.reachedSample(2), int64_t{bytes} * kSamplesPerByte);
        // The frames before firstChanged are the ones held before.
        ASSERT_LE(model.firstChanged(2), kept.size());
        settled = std::max(settled, model.firstChanged(2));
        for (std::size_t i = 0; i < model.firstChanged(2); ++i) {
            ASSERT_EQ(shown(model.frames(2)[i]), shown(kept[i])) << "frame " << i;
        }
        // The whole stored line, resting after its last byte, decodes to the same frames (the
        // protocol table's included, but for a burst still arriving at the end).
        ChannelBuffer arrived = captured;
        const uint8_t rest = (arrived[static_cast<std::size_t>(bytes) - 1] & 1) != 0 ? 0xFF : 0;
        std::fill(arrived.begin() + bytes, arrived.end(), rest);
        const ChannelLevels line = channelLevels(arrived);
        const std::vector<IrFrame> whole = irp::decodeWithProtocols(
            decodeInfrared(line, 2, IrUnknownBursts::Listed), line, irp::tableWithUserProtocols(),
            blocks < kBlocksPerCapture ? irp::LineEnd::Cut : irp::LineEnd::Rest);
        ASSERT_EQ(model.frames(2).size(), whole.size()) << bytes << " bytes";
        for (std::size_t i = 0; i < whole.size(); ++i) {
            ASSERT_EQ(shown(model.frames(2)[i]), shown(whole[i])) << bytes << " bytes, frame " << i;
            ASSERT_LT(model.frames(2)[i].startSample, model.reachedSample(2));
        }
        if (blocks == kBlocksPerCapture) {
            break;
        }
    }
    // Each update decoded only the tail: most frames had settled before the last block.
    if (step < kBlocksPerCapture) {
        EXPECT_GT(settled, model.frames(2).size() / 2);
    }
    const irgen::Score live = irgen::score(sent.truth, model.frames(2));
    model.decodeChannel(2);
    const irgen::Score end = irgen::score(sent.truth, model.frames(2));
    EXPECT_EQ(live.found, end.found);
    EXPECT_EQ(end.found, end.sent);
    EXPECT_EQ(end.invented, 0);
    EXPECT_EQ(model.reachedSample(2), kCaptureSamples);
    EXPECT_TRUE(model.frames(1).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Families, FramesArriving,
    ::testing::Values(ArrivalCase{"nec_every_block", irgen::Family::Nec, 1},
                      ArrivalCase{"sharp_every_block", irgen::Family::Sharp, 1},
                      ArrivalCase{"jvc_every_two_blocks", irgen::Family::Jvc, 2},
                      ArrivalCase{"rc6_every_block", irgen::Family::Rc6, 1},
                      ArrivalCase{"sirc_every_three_blocks", irgen::Family::Sirc, 3},
                      ArrivalCase{"unknown_pd48_every_block", irgen::Family::UnknownPulseDistance48,
                                  1},
                      ArrivalCase{"all_at_once", irgen::Family::Samsung32, kBlocksPerCapture}),
    test::CaseName{});

// While a capture runs, the protocol table is prepared only for what its frames need: a family's
// remote prepares no more than its own protocol, look after look; an unknown remote's first
// look waits while the whole table is prepared a slice at a time from the event loop (no look
// prepares it at once), then lists the frames a whole decoding gives.
TEST(FramesModelProtocols, PreparedOnlyAsTheCapturedFramesNeedThem) {
    irgen::Options o;
    o.seed = 5;
    ChannelBuffer empty{};
    empty.fill(0xFF);
    for (const irgen::Family family : {irgen::Family::Nec, irgen::Family::UnknownPulseDistance48}) {
        SCOPED_TRACE(static_cast<int>(family));
        const ChannelBuffer captured = irgen::renderChannel(irgen::generate(family, o));
        ChannelBuffer channel = empty;
        FramesModel model({&channel, &empty, &empty});
        const irp::ProtocolTable table =
            irp::parseTable(irp::builtinTableText(), irp::Prepare::WhenAsked);
        model.setProtocols(table); // shares what the model prepares
        model.startCapture(1);
        int waits = 0;
        for (int blocks = 8; blocks < kBlocksPerCapture; blocks += 8) {
            const int bytes = blocks * kBlockBytes;
            std::copy_n(captured.begin(), bytes, channel.begin());
            while (!model.decodeArrived(1, bytes)) {
                ASSERT_LT(++waits, 20);
                ASSERT_FALSE(table.prepared());
                QCoreApplication::processEvents();
            }
        }
        ASSERT_FALSE(model.frames(1).empty());
        if (family == irgen::Family::Nec) {
            EXPECT_EQ(waits, 0);
            EXPECT_FALSE(table.prepared());
        } else {
            // 189 protocols, 32 an event: the first look waited for several events.
            EXPECT_GE(waits, 3);
            EXPECT_TRUE(table.prepared());
        }
        const std::size_t live = model.frames(1).size();
        std::copy(captured.begin(), captured.end(), channel.begin());
        model.decodeChannel(1);
        EXPECT_GE(model.frames(1).size(), live * 9 / 10);
    }
}

TEST(FramesModelKeys, NamedInTheLibraryShownForEveryFrameOfTheKey) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    RemoteLibrary library;
    ASSERT_EQ(library.load(dir.filePath(QStringLiteral("remotes.lircd.conf"))), std::nullopt);
    irgen::Options o;
    o.seed = 3;
    const ChannelBuffer nec = irgen::renderChannel(irgen::generate(irgen::Family::Nec, o));
    ChannelBuffer empty{};
    empty.fill(0xFF);
    FramesModel model({&empty, &empty, &nec});
    model.decodeAll();
    const std::vector<IrFrame>& frames = model.frames(3);
    ASSERT_GT(frames.size(), 3u);
    ASSERT_EQ(model.keys(3).size(), frames.size()); // no library yet: no keys, one per frame
    EXPECT_EQ(model.keyShown(3, 0), QString());

    model.setLibrary(&library);
    ASSERT_EQ(library.nameFrame(frames[0], QStringLiteral("KEY_POWER")), std::nullopt);
    QSignalSpy changed(&model, &FramesModel::changed);
    QSignalSpy keysChanged(&model, &FramesModel::keysChanged);
    model.refreshKeys();
    EXPECT_EQ(changed.size(), 0); // the frames stay
    EXPECT_EQ(keysChanged.size(), kChannelCount);
    ASSERT_EQ(model.keys(3).size(), frames.size());
    const std::vector<std::optional<LibraryKey>> want = library.lookup(frames);
    int named = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(model.keys(3)[i], want[i]) << "frame " << i;
        EXPECT_EQ(model.keyName(3, i), want[i] ? want[i]->key : QString());
        named += model.keyName(3, i) == QStringLiteral("KEY_POWER") ? 1 : 0;
    }
    EXPECT_GE(named, 1);
    EXPECT_EQ(model.keyShown(3, 0), want[0]->remote + QStringLiteral(": KEY_POWER"));
    EXPECT_EQ(model.keyName(3, frames.size()), QString()); // past the end: none
    EXPECT_EQ(model.frameCount(), frames.size());
}

} // namespace
