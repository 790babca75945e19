// The bit cells of frames the protocol table names, read from their descriptions: protocols of
// every coding kind, rendered with random parameters, sampled with and without timing errors and
// decoded from a line; the cells spell the bitfields as the published descriptions send them
// (fields written out here by hand), lie on the line's edges and follow the leader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <set>

#include "infrared/frame_cells.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp.h"
#include "infrared/irp/irp_decode.h"
#include "infrared/irp/irp_table.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::infrared::irp;

namespace {

using Bits = std::vector<bool>;

// `width` bits of `value`, lowest first or highest first.
void put(Bits& bits, int64_t value, int width, bool msb) {
    for (int i = 0; i < width; ++i) {
        bits.push_back(((value >> (msb ? width - 1 - i : i)) & 1) != 0);
    }
}

// Where a cell's edges lie on the line.
enum class OnEdges {
    StartAndEnd, // a symbol per bit starting with a mark: both ends are edges
    Middle,      // bi-phase: the line changes in the middle of every cell
    PairStart,   // two bits per symbol: every other cell starts on an edge
};

struct CellCase {
    const char* name;
    std::size_t leader; // durations before the first bit
    OnEdges edges;
    std::function<Bits(const Values&)> bits; // the bits sent, from the published description
};

// A line resting high, then `durations` (marks low) from 0.4 s on, each stretched by up to
// `relative` either way and every edge on a sample.
ChannelLevels lineOf(const std::vector<double>& durations, double relative, std::mt19937& rng) {
    std::uniform_real_distribution<double> error(-relative, relative);
    ChannelLevels line;
    line.initialHigh = true;
    double t = 400000 + std::uniform_real_distribution<double>(0, kSamplePeriodUsExact)(rng);
    for (std::size_t i = 0; i < durations.size(); ++i) {
        const bool mark = durations[i] > 0;
        if (i == 0 || mark != (durations[i - 1] > 0)) {
            line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
        }
        t += std::abs(durations[i]) * (1 + error(rng));
    }
    if (line.edges.size() % 2 == 1) {
        line.edges.push_back(static_cast<int32_t>(std::llround(t / kSamplePeriodUsExact)));
    }
    line.samples = line.edges.back() + 100000;
    return line;
}

class DescribedCells : public ::testing::TestWithParam<CellCase> {};

TEST_P(DescribedCells, SpellTheFieldsOnTheEdges) {
    const CellCase& row = GetParam();
    const CompiledProtocol* c = builtinTable().find(QString::fromLatin1(row.name));
    ASSERT_NE(c, nullptr);
    std::mt19937 rng(2026);
    for (int trial = 0; trial < 12; ++trial) {
        Values values;
        for (const ParameterSpec& spec : c->protocol.parameters) {
            if (!spec.defaultValue) {
                values[spec.name] = std::uniform_int_distribution<int64_t>(spec.min, spec.max)(rng);
            }
        }
        const Rendered r = render(c->protocol, values);
        ASSERT_TRUE(r.signal) << r.error.toStdString();
        const std::vector<double>& sent =
            r.signal->intro.empty() ? r.signal->repeat : r.signal->intro;
        const bool exact = trial % 2 == 0;
        const ChannelLevels line = lineOf(sent, exact ? 0.0 : 0.04, rng);
        const std::vector<IrFrame> frames =
            decodeWithProtocols(decodeInfrared(line, 1, IrUnknownBursts::Listed), line);
        ASSERT_FALSE(frames.empty());
        const IrFrame& f = frames.front();
        ASSERT_EQ(f.named.name.toStdString(), row.name) << "trial " << trial;
        Values want = values;
        completeValues(c->protocol, want);
        const Bits expected = row.bits(want);
        const FrameCells cells = frameCells(f);
        Bits got;
        for (const FrameCell& cell : cells.bits) {
            got.push_back(cell.value);
        }
        EXPECT_EQ(got, expected) << "trial " << trial;
        ASSERT_EQ(cells.bits.size(), expected.size());

        const std::set<int64_t> edges(line.edges.begin(), line.edges.end());
        const auto nearEdge = [&](int64_t at, int64_t within) {
            const auto it = edges.lower_bound(at - within);
            return it != edges.end() && *it <= at + within;
        };
        if (row.leader > 0) {
            ASSERT_GT(line.edges.size(), row.leader);
            EXPECT_EQ(cells.leaderStart, line.edges[0]);
            EXPECT_EQ(cells.leaderEnd, line.edges[row.leader]);
        } else {
            EXPECT_EQ(cells.leaderStart, -1);
        }
        for (std::size_t b = 0; b < cells.bits.size(); ++b) {
            const FrameCell& cell = cells.bits[b];
            EXPECT_LT(cell.start, cell.end) << "bit " << b;
            if (b + 1 < cells.bits.size()) {
                EXPECT_EQ(cell.end, cells.bits[b + 1].start) << "bit " << b;
            }
            switch (row.edges) {
            case OnEdges::StartAndEnd:
                EXPECT_TRUE(edges.contains(cell.start)) << "bit " << b << " trial " << trial;
                // The last bit's space may run on into the rest after the frame.
                EXPECT_TRUE(edges.contains(cell.end) || cell.end > f.endSample)
                    << "bit " << b << " trial " << trial;
                break;
            case OnEdges::Middle:
                // On a grid of units from the first bit: timing errors move the edges off it.
                EXPECT_TRUE(
                    nearEdge((cell.start + cell.end) / 2, exact ? 1 : (cell.end - cell.start) / 4))
                    << "bit " << b << " trial " << trial;
                break;
            case OnEdges::PairStart:
                if (b % 2 == 0) {
                    EXPECT_TRUE(edges.contains(cell.start)) << "bit " << b << " trial " << trial;
                }
                break;
            }
        }
    }
}

// Every protocol of the table a frame is named by: the frame gets a cell for each bit its
// description sends, in order, inside the frame or the rest after it.
TEST(DescribedCells, EveryTableProtocolGetsItsBits) {
    std::mt19937 rng(7);
    QStringList failures;
    int named = 0;
    for (const auto& compiled : builtinTable().protocols()) {
        const CompiledProtocol& c = *compiled;
        Values values;
        for (const ParameterSpec& spec : c.protocol.parameters) {
            if (!spec.defaultValue) {
                values[spec.name] = std::uniform_int_distribution<int64_t>(spec.min, spec.max)(rng);
            }
        }
        const Rendered r = render(c.protocol, values);
        ASSERT_TRUE(r.signal) << c.name.toStdString();
        const ChannelLevels line =
            lineOf(r.signal->intro.empty() ? r.signal->repeat : r.signal->intro, 0, rng);
        const std::vector<IrFrame> frames =
            decodeWithProtocols(decodeInfrared(line, 1, IrUnknownBursts::Listed), line);
        if (frames.empty() || frames.front().protocol != IrProtocol::Unknown ||
            frames.front().named.isEmpty()) {
            continue; // a family's frame, or one the table reads only with what follows it
        }
        ++named;
        const IrFrame& f = frames.front();
        const CompiledProtocol* by = builtinTable().find(f.named.name);
        const FrameCells cells = frameCells(f);
        bool ok = by != nullptr && cells.bits.size() == static_cast<std::size_t>(by->dataBits);
        for (std::size_t b = 0; ok && b < cells.bits.size(); ++b) {
            ok = cells.bits[b].start >= f.startSample && cells.bits[b].start < cells.bits[b].end &&
                 (b == 0 || cells.bits[b - 1].end <= cells.bits[b].start);
        }
        if (!ok) {
            failures << QStringLiteral("%1 (as %2: %3 cells)")
                            .arg(c.name, f.named.name)
                            .arg(cells.bits.size());
        }
    }
    EXPECT_GE(named, 100);
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QStringLiteral(", ")).toStdString();
}

int64_t at(const Values& v, const char* name) {
    return v.at(name);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DescribedCells,
    ::testing::Values(
        // Pulse distance after a leader, highest bit first.
        CellCase{"Konka", 2, OnEdges::StartAndEnd,
                 [](const Values& v) {
                     Bits b;
                     put(b, at(v, "D"), 8, true);
                     put(b, at(v, "F"), 8, true);
                     return b;
                 }},
        // Pulse distance from the first mark.
        CellCase{"Mitsubishi", 0, OnEdges::StartAndEnd,
                 [](const Values& v) {
                     Bits b;
                     put(b, at(v, "D"), 8, false);
                     put(b, at(v, "F"), 8, false);
                     return b;
                 }},
        // One bit of a parameter sent on its own (D:1:4).
        CellCase{"Thomson", 0, OnEdges::StartAndEnd,
                 [](const Values& v) {
                     Bits b;
                     put(b, at(v, "D"), 4, false);
                     put(b, at(v, "T"), 1, false);
                     put(b, at(v, "D") >> 4, 1, false);
                     put(b, at(v, "F"), 6, false);
                     return b;
                 }},
        // Pulse width, highest bit first.
        CellCase{"Sunfire", 2, OnEdges::StartAndEnd,
                 [](const Values& v) {
                     Bits b;
                     put(b, at(v, "D"), 4, true);
                     put(b, at(v, "F"), 8, true);
                     put(b, ~at(v, "D"), 4, true);
                     put(b, ~at(v, "F"), 8, true);
                     return b;
                 }},
        // Bi-phase with constant fields and a double-length trailer bit.
        CellCase{"RC6-6-20", 2, OnEdges::Middle,
                 [](const Values& v) {
                     Bits b;
                     put(b, 1, 1, true);
                     put(b, 6, 3, true);
                     put(b, at(v, "T"), 1, true);
                     put(b, at(v, "D"), 8, true);
                     put(b, at(v, "S"), 4, true);
                     put(b, at(v, "F"), 8, true);
                     return b;
                 }},
        // Four symbols, two bits each, running on from one field into the next.
        CellCase{"Grundig16", 3, OnEdges::PairStart,
                 [](const Values& v) {
                     Bits b;
                     put(b, at(v, "T"), 1, true);
                     put(b, at(v, "F"), 8, true);
                     put(b, at(v, "D"), 7, true);
                     return b;
                 }}),
    [](const auto& row) {
        std::string name = row.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

} // namespace
