// Codes made from the protocol table, judged by programs outside the project: LIRC's
// irsimreceive must find the key of a hand-written remote definition in the mode2 that
// velmoran-ird generate writes, the protocol table must read back what LIRC's irsimsend sends
// for that key, and sigrok's RC-5 and RC-6 decoders must read the generated captures. Then the
// generate command's own errors.

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "infrared/irp/irp_decode.h"
#include "infrared/irp/irp_table.h"
#include "support/program_run.h"

using namespace velmoran;
using namespace velmoran::infrared::irp;

namespace {

velmoran::test::ProgramRun ird(const QStringList& args, const QString& dir) {
    return velmoran::test::runProgram(QStringLiteral(VELMORAN_IRD_PROGRAM), args, dir, 30000);
}

bool writeText(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

QByteArray readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A remote written as LIRC's own configuration files write these protocols, with the code of
// one key (its bits in the order sent, the first the most significant).
struct LircCase {
    const char* name;
    const char* protocol;
    QStringList parameters;
    Values values; // all parameters, defaults included
    const char* conf;
};

class LircJudges : public ::testing::TestWithParam<LircCase> {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("irsimreceive")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("irsimsend")).isEmpty()) {
            GTEST_SKIP() << "irsimsend and irsimreceive (Debian package lirc) are not installed";
        }
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(writeText(dir_.filePath("remote.conf"), GetParam().conf));
    }
    QTemporaryDir dir_;
};

TEST_P(LircJudges, IrsimreceiveFindsTheGeneratedKey) {
    const auto made = ird(QStringList{"generate", GetParam().protocol} + GetParam().parameters +
                              QStringList{"--format", "mode2", "-o", "code.mode2"},
                          dir_.path());
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    const auto sim =
        velmoran::test::runProgram(QStandardPaths::findExecutable(QStringLiteral("irsimreceive")),
                                   {"remote.conf", "code.mode2"}, dir_.path());
    EXPECT_EQ(sim.status, 0);
    EXPECT_TRUE(sim.out.contains(QStringLiteral(" KEY_A ")))
        << sim.out.toStdString() << readText(dir_.filePath("code.mode2")).toStdString();
}

TEST_P(LircJudges, TheTableReadsWhatIrsimsendSends) {
    const auto sim =
        velmoran::test::runProgram(QStandardPaths::findExecutable(QStringLiteral("irsimsend")),
                                   {"-k", "KEY_A", "remote.conf"}, dir_.path());
    ASSERT_EQ(sim.status, 0) << sim.err.toStdString();
    std::vector<double> durations;
    for (const QByteArray& line : readText(dir_.filePath("simsend.out")).split('\n')) {
        const QList<QByteArray> w = line.simplified().split(' ');
        if (w.size() == 2 && (w[0] == "pulse" || w[0] == "space")) {
            const double us = w[1].toDouble();
            durations.push_back(w[0] == "pulse" ? us : -us);
        }
    }
    ASSERT_FALSE(durations.empty());
    if (durations.back() > 0) {
        durations.push_back(-1e6);
    }
    const std::vector<Decoded> got = decodeDurations(durations, builtinTable());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front().protocol->name, QString::fromLatin1(GetParam().protocol));
    EXPECT_EQ(got.front().values, GetParam().values);
}

// Pulse width without a leader's space of its own (Sony), pulse distance without a leader
// (Mitsubishi), pulse distance with a leader and a checked command (NEC1), bi-phase (RC-5).
INSTANTIATE_TEST_SUITE_P(
    Table, LircJudges,
    ::testing::Values(
        LircCase{"sony15",
                 "Sony15",
                 {"D=0x4a", "F=0x15"},
                 {{"D", 0x4a}, {"F", 0x15}},
                 "begin remote\n name SONY15\n bits 15\n flags SPACE_ENC|CONST_LENGTH\n"
                 " eps 30\n aeps 100\n header 2400 600\n one 1200 600\n zero 600 600\n"
                 " gap 45000\n begin codes\n KEY_A 0x5452\n end codes\nend remote\n"},
        LircCase{"mitsubishi",
                 "Mitsubishi",
                 {"D=0x12", "F=0x34"},
                 {{"D", 0x12}, {"F", 0x34}},
                 "begin remote\n name MITSUBISHI\n bits 16\n flags SPACE_ENC\n eps 30\n"
                 " aeps 100\n one 300 2100\n zero 300 900\n ptrail 300\n gap 24000\n"
                 " begin codes\n KEY_A 0x482C\n end codes\nend remote\n"},
        LircCase{"nec1",
                 "NEC1",
                 {"D=4", "F=8"},
                 {{"D", 4}, {"S", 251}, {"F", 8}},
                 "begin remote\n name NEC\n bits 32\n flags SPACE_ENC|CONST_LENGTH\n eps 30\n"
                 " aeps 100\n header 9000 4500\n one 560 1690\n zero 560 560\n ptrail 560\n"
                 " repeat 9000 2250\n gap 108000\n begin codes\n KEY_A 0x20DF10EF\n"
                 " end codes\nend remote\n"},
        LircCase{"rc5",
                 "RC5",
                 {"D=5", "F=53"},
                 {{"D", 5}, {"F", 53}, {"T", 1}}, // irsimsend sets the toggle bit
                 "begin remote\n name RC5\n bits 13\n flags RC5|CONST_LENGTH\n eps 30\n"
                 " aeps 100\n one 889 889\n zero 889 889\n plead 889\n gap 113792\n"
                 " toggle_bit_mask 0x800\n begin codes\n KEY_A 0x1175\n end codes\n"
                 "end remote\n"}),
    [](const auto& row) { return std::string(row.param.name); });

struct SigrokCase {
    const char* name;
    const char* protocol;
    QStringList parameters;
    const char* decoder;
    QStringList expected; // annotation lines
};

class SigrokJudges : public ::testing::TestWithParam<SigrokCase> {};

TEST_P(SigrokJudges, DecoderReadsTheGeneratedCapture) {
    const QString sigrok = QStandardPaths::findExecutable(QStringLiteral("sigrok-cli"));
    if (sigrok.isEmpty()) {
        GTEST_SKIP() << "sigrok-cli is not installed";
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto made = ird(QStringList{"generate", GetParam().protocol} + GetParam().parameters +
                              QStringList{"--format", "ird", "-o", "code.ird"},
                          dir.path());
    ASSERT_EQ(made.status, 0) << made.err.toStdString();
    ASSERT_EQ(ird({"export", "code.ird", "--format", "sr", "--channels", "1", "-o", "code.sr"},
                  dir.path())
                  .status,
              0);
    const QString decoder = QString::fromLatin1(GetParam().decoder);
    const auto run = velmoran::test::runProgram(
        sigrok, {"-i", "code.sr", "-P", decoder + ":ir=CH1", "-A", decoder}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err.toStdString();
    for (const QString& line : GetParam().expected) {
        EXPECT_TRUE(run.out.contains(line)) << line.toStdString() << "\n" << run.out.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SigrokJudges,
    ::testing::Values(
        SigrokCase{"rc5", "RC5", {"D=5", "F=53"}, "ir_rc5", {"Address: 5 ", "Command: 53 "}},
        SigrokCase{"rc6", "RC6", {"D=5", "F=53"}, "ir_rc6", {"Address: 05", "Data: 35"}}),
    [](const auto& row) { return std::string(row.param.name); });

struct GenerateError {
    const char* name;
    QStringList args;
    const char* message;
};

class GenerateErrors : public ::testing::TestWithParam<GenerateError> {};

TEST_P(GenerateErrors, FailWithAReasonAndNoFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto run = ird(QStringList{"generate"} + GetParam().args, dir.path());
    EXPECT_GT(run.status, 0);
    EXPECT_TRUE(run.err.contains(QString::fromLatin1(GetParam().message))) << run.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Table, GenerateErrors,
    ::testing::Values(
        GenerateError{
            "unknown_protocol", {"NoSuch", "--format", "c", "-o", "out"}, "unknown protocol"},
        GenerateError{"out_of_range",
                      {"NEC1", "D=256", "F=1", "--format", "c", "-o", "out"},
                      "outside 0..255"},
        GenerateError{"missing_parameter",
                      {"NEC1", "D=1", "--format", "c", "-o", "out"},
                      "parameter F is missing"},
        GenerateError{"foreign_parameter",
                      {"NEC1", "D=1", "F=1", "Q=1", "--format", "c", "-o", "out"},
                      "has no parameter Q"},
        GenerateError{"bad_value", {"NEC1", "D=x", "--format", "c", "-o", "out"}, "bad parameter"},
        GenerateError{"bad_format",
                      {"NEC1", "D=1", "F=1", "--format", "wav", "-o", "out"},
                      "give the format"},
        GenerateError{"bad_repeats",
                      {"NEC1", "D=1", "F=1", "--repeats", "-1", "--format", "c", "-o", "out"},
                      "--repeats takes"},
        GenerateError{"too_long",
                      {"NEC1", "D=1", "F=1", "--repeats", "400", "--format", "ird", "-o", "out"},
                      "longer than a capture"}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
