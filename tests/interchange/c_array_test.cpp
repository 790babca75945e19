// The C array export, judged by the system's C compiler: the exported source of a channel's
// frames compiles without a warning into a program that prints every array back, and each array
// printed, sent as a receiver would give it, decodes to its frame again (protocol, fields,
// carrier), whatever the key names given (a leading digit, signs, two keys of one name).

#include <gtest/gtest.h>

#include "support/case_name.h"
#include "support/files.h"
#include "support/ird_capture.h"
#include "support/program_run.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

#include "infrared/ir_encoder.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/c_array.h"
#include "tools/ird/ird_generate.h"
#include "tools/irgen/ir_generator.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

struct CCase {
    std::string name;
    std::function<ChannelBuffer()> channel;
};

ChannelBuffer family(irgen::Family f, uint32_t seed) {
    irgen::Options o;
    o.jitter = 0.08;
    o.seed = seed;
    return irgen::renderChannel(irgen::generate(f, o));
}

// Presses of a protocol of the table, each held for one repeat, a second apart.
ChannelBuffer tableProtocol(const char* name, const std::vector<irp::Values>& presses) {
    const irp::CompiledProtocol* p = irp::builtinTable().find(QString::fromLatin1(name));
    EXPECT_NE(p, nullptr) << name;
    std::vector<double> all;
    for (const irp::Values& v : presses) {
        const irp::Rendered r = irp::render(p->protocol, v);
        EXPECT_TRUE(r.signal) << r.error.toStdString();
        if (!all.empty()) {
            all.push_back(-kGeneratedStartUs);
        }
        const std::vector<double> press = pressDurations(*r.signal, 1);
        all.insert(all.end(), press.begin(), press.end());
    }
    ChannelBuffer b{};
    EXPECT_FALSE(sampleInto(all, b));
    return b;
}

// The line a receiver module gives for `durations`, after a rest.
ChannelLevels lineOf(const std::vector<double>& durations) {
    test::IrLine l(kGeneratedStartUs);
    for (const double d : durations) {
        d > 0 ? l.mark(d) : l.space(-d);
    }
    l.space(kGeneratedStartUs);
    return channelLevels(test::renderLine(l.edges()));
}

QString described(const IrFrame& f) {
    const FrameText t = irp::shownFrameText(f);
    return t.protocol + ' ' + t.address + ' ' + t.command;
}

// What tells two frames apart: their fields and notes (an RC-5 toggle too).
QString distinctBy(const IrFrame& f) {
    const FrameText t = irp::readByTable(f) ? irp::shownFrameText(f) : frameText(f);
    return t.protocol + ' ' + t.notes;
}

class CArrayExport : public ::testing::TestWithParam<CCase> {};

TEST_P(CArrayExport, CompilesAndEveryArrayDecodesToItsFrame) {
    const QString cc = QStandardPaths::findExecutable(QStringLiteral("cc"));
    if (cc.isEmpty()) {
        GTEST_SKIP() << "no C compiler";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const ChannelLevels line = channelLevels(GetParam().channel());
    const std::vector<IrFrame> frames = decodeChannelFrames(line, 2, irp::builtinTable());
    // The frames a C array is written for: one per distinct key, held keys' repeats left out.
    std::vector<IrFrame> distinct;
    QStringList seen;
    for (const IrFrame& f : frames) {
        const QString d = distinctBy(f);
        if (f.protocol != IrProtocol::NecRepeat && !f.repeat && !seen.contains(d)) {
            seen << d;
            distinct.push_back(f);
        }
    }
    ASSERT_GE(distinct.size(), 2u);
    // Key names no C identifier could be: a leading digit, signs, and the same name twice.
    const auto keyName = [&](const IrFrame& f) {
        return distinctBy(f) == seen[0] ? QStringLiteral("1st key/power")
                                        : QStringLiteral("KEY-VOL+");
    };
    const QByteArray source = exportC(2, frames, keyName);
    test::writeFile(dir.filePath(QStringLiteral("frames.c")), source);

    // A program that prints each array: its name, carrier and durations.
    QStringList names;
    const QRegularExpression declared(QStringLiteral("const uint32_t (\\w+)_us\\["));
    for (auto it = declared.globalMatch(QString::fromUtf8(source)); it.hasNext();) {
        names << it.next().captured(1);
    }
    QByteArray main = "#include <stdio.h>\n#include \"frames.c\"\n#define N(a) "
                      "(sizeof(a) / sizeof(a[0]))\nint main(void) {\n    size_t i;\n";
    for (const QString& n : names) {
        const QByteArray c = n.toUtf8();
        main += "    printf(\"" + c + " %lu\", (unsigned long)" + c + "_carrier_hz);\n";
        main += "    for (i = 0; i < N(" + c + "_us); ++i) printf(\" %lu\", (unsigned long)" + c +
                "_us[i]);\n    printf(\"\\n\");\n";
    }
    main += "    return 0;\n}\n";
    test::writeFile(dir.filePath(QStringLiteral("main.c")), main);
    const test::ProgramRun built = test::runProgram(
        cc,
        {QStringLiteral("-std=c99"), QStringLiteral("-Wall"), QStringLiteral("-Wextra"),
         QStringLiteral("-pedantic"), QStringLiteral("-Werror"), QStringLiteral("-o"),
         QStringLiteral("print"), QStringLiteral("main.c")},
        dir.path());
    ASSERT_EQ(built.status, 0) << built.err.toStdString() << source.toStdString();
    const test::ProgramRun printed =
        test::runProgram(dir.filePath(QStringLiteral("print")), {}, dir.path());
    ASSERT_EQ(printed.status, 0);
    const QStringList rows = printed.out.split('\n', Qt::SkipEmptyParts);

    // An array per distinct frame, named by its key, each name once.
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(distinct.size())) << source.toStdString();
    EXPECT_TRUE(rows[0].startsWith(QStringLiteral("ir_1st_key_power ")));
    if (rows.size() > 2) {
        EXPECT_TRUE(rows[2].startsWith(QStringLiteral("KEY_VOL__2 "))) << rows[2].toStdString();
    }
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const IrFrame& want = distinct[static_cast<std::size_t>(r)];
        const QStringList w = rows[r].split(' ');
        ASSERT_GE(w.size(), 4);
        // The protocol's own carrier (Mitsubishi's 32.6 kHz, Denon-K's 37 kHz).
        const irp::CompiledProtocol* p =
            irp::readByTable(want) ? irp::builtinTable().find(want.named.name) : nullptr;
        EXPECT_EQ(w[1].toInt(),
                  p != nullptr ? std::lround(p->protocol.frequencyHz) : irCarrierHz(want));
        std::vector<double> durations;
        for (qsizetype k = 2; k < w.size(); ++k) {
            durations.push_back(k % 2 == 0 ? w[k].toDouble() : -w[k].toDouble());
        }
        EXPECT_EQ(durations.size() % 2, 0u) << "ends in the rest before the next frame";
        const std::vector<IrFrame> back =
            decodeChannelFrames(lineOf(durations), 1, irp::builtinTable());
        ASSERT_FALSE(back.empty()) << rows[r].toStdString();
        EXPECT_EQ(described(back.front()), described(want)) << rows[r].toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frames, CArrayExport,
    ::testing::Values(CCase{"nec", [] { return family(irgen::Family::Nec, 3); }},
                      CCase{"rc5", [] { return family(irgen::Family::Rc5, 4); }},
                      CCase{"rc6", [] { return family(irgen::Family::Rc6, 5); }},
                      CCase{"sirc", [] { return family(irgen::Family::Sirc, 6); }},
                      CCase{"kaseikyo", [] { return family(irgen::Family::Kaseikyo, 7); }},
                      CCase{"table_mitsubishi",
                            [] {
                                return tableProtocol("Mitsubishi", {{{"D", 5}, {"F", 9}},
                                                                    {{"D", 5}, {"F", 10}},
                                                                    {{"D", 5}, {"F", 11}}});
                            }},
                      CCase{"table_denon_k",
                            [] {
                                return tableProtocol("Denon-K", {{{"D", 3}, {"S", 1}, {"F", 300}},
                                                                 {{"D", 3}, {"S", 1}, {"F", 301}},
                                                                 {{"D", 3}, {"S", 1}, {"F", 302}}});
                            }}),
    test::CaseName());

// The one writer also serves velmoran-ird generate: one array, its name made an identifier.
TEST(CArrayWriter, NamesAreIdentifiersAndNotesCannotCloseTheirComment) {
    const QByteArray text = writeCArrays(
        "top", {{QStringLiteral("9 lives"), QStringLiteral("a */ b"), 38000, {560, -560, 560}},
                {QStringLiteral("9-lives"), {}, 36000, {889, -889}}});
    EXPECT_TRUE(text.contains("const uint32_t ir_9_lives_carrier_hz = 38000;"));
    EXPECT_TRUE(text.contains("const uint32_t ir_9_lives_2_us[2] = {\n    889, 889\n};"));
    EXPECT_TRUE(text.contains("/* a * / b */"));
    EXPECT_EQ(cIdentifier(QString()), QStringLiteral("ir_"));
}

} // namespace
