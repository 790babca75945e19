// The remote library as the window edits it: remotes read from files keep where they came from
// across a reload, a remote already there is recognised by its codes whatever its name, and
// each rename or deletion is written so that LIRC's irsimsend still reads the library and sends
// the keys under their new names. Names that would clash, and a library that was not read, are
// refused with nothing changed.

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "interchange/remote_library.h"
#include "support/files.h"
#include "support/program_run.h"

using namespace velmoran;
using namespace velmoran::infrared;
using namespace velmoran::interchange;

namespace {

const QByteArray kTv = "begin remote\n  name tv\n  bits 16\n  flags SPACE_ENC|CONST_LENGTH\n"
                       "  header 9000 4500\n  one 563 1687\n  zero 563 562\n  ptrail 563\n"
                       "  pre_data_bits 16\n  pre_data 0x20DF\n  gap 108000\n"
                       "  begin codes\n    KEY_POWER 0x10EF\n    KEY_MUTE 0x906F\n  end codes\n"
                       "end remote\n";
const QByteArray kFan = "begin remote\n  name fan\n  flags RAW_CODES\n  gap 50000\n"
                        "  begin raw_codes\n    name KEY_SPEED\n 1300 400 1300 400 400\n"
                        "  end raw_codes\nend remote\n";

QStringList keysOf(const LircRemote& r) {
    QStringList keys;
    for (const LircCode& c : r.codes) {
        keys << c.name;
    }
    for (const LircRawCode& c : r.rawCodes) {
        keys << c.name;
    }
    return keys;
}

TEST(RemoteLibraryEdits, SourcesDuplicatesRenamesAndDeletions) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tv = dir.filePath(QStringLiteral("lircd.conf.tv"));
    const QString fan = dir.filePath(QStringLiteral("fan"));
    test::writeFile(tv, kTv);
    test::writeFile(fan, kFan);
    const QString path = dir.filePath(QStringLiteral("library.lircd.conf"));

    RemoteLibrary library;
    ASSERT_EQ(library.loadWithSources(path), std::nullopt);
    std::vector<LircRemote> read;
    ASSERT_EQ(RemoteLibrary::readRemoteFiles({tv, fan}, read), std::nullopt);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_FALSE(library.sameCodesAs(read[0]));
    ASSERT_EQ(library.addRemotes(read), std::nullopt);

    // The same remote under another name and with other key names is the same remote.
    std::vector<LircRemote> again;
    QByteArray renamed = kTv;
    renamed.replace("name tv", "name telly").replace("KEY_MUTE", "MUTE");
    test::writeFile(tv, renamed);
    ASSERT_EQ(RemoteLibrary::readRemoteFiles({tv}, again), std::nullopt);
    EXPECT_EQ(library.sameCodesAs(again[0]), std::optional<std::size_t>(0));
    renamed.replace("0x906F", "0x906E");
    test::writeFile(tv, renamed);
    again.clear();
    ASSERT_EQ(RemoteLibrary::readRemoteFiles({tv}, again), std::nullopt);
    EXPECT_FALSE(library.sameCodesAs(again[0]));
    // Added anyway, it gets a name of its own.
    ASSERT_EQ(library.addRemotes({again[0], again[0]}), std::nullopt);
    ASSERT_EQ(library.remotes().size(), 4u);
    EXPECT_EQ(library.remotes()[3].name, QStringLiteral("telly_2"));

    // Sources survive a reload.
    RemoteLibrary reloaded;
    ASSERT_EQ(reloaded.loadWithSources(path), std::nullopt);
    ASSERT_EQ(reloaded.remotes().size(), 4u);
    EXPECT_EQ(RemoteLibrary::sourceOf(reloaded.remotes()[0]), QFileInfo(tv).absoluteFilePath());
    EXPECT_EQ(RemoteLibrary::sourceOf(reloaded.remotes()[1]), QFileInfo(fan).absoluteFilePath());

    // Edits, and the refusals that leave everything as it was.
    const QByteArray before = test::readExisting(path);
    EXPECT_EQ(reloaded.renameRemote(0, QStringLiteral("fan")).value_or(QString()),
              QStringLiteral("the library already has a remote named fan"));
    EXPECT_EQ(reloaded.renameRemote(0, QStringLiteral("  ")).value_or(QString()),
              QStringLiteral("a remote needs a name"));
    EXPECT_EQ(reloaded.renameKey(0, 0, false, QStringLiteral("KEY_MUTE")).value_or(QString()),
              QStringLiteral("remote tv already has a key named KEY_MUTE"));
    EXPECT_EQ(reloaded.deleteKey(0, 5, false).value_or(QString()), QStringLiteral("no such key"));
    EXPECT_EQ(reloaded.deleteRemote(9).value_or(QString()), QStringLiteral("no such remote"));
    EXPECT_EQ(test::readExisting(path), before);

    ASSERT_EQ(reloaded.renameRemote(0, QStringLiteral("living room tv")), std::nullopt);
    ASSERT_EQ(reloaded.renameKey(0, 0, false, QStringLiteral("KEY_ONOFF")), std::nullopt);
    ASSERT_EQ(reloaded.renameKey(1, 0, true, QStringLiteral("KEY_FASTER")), std::nullopt);
    ASSERT_EQ(reloaded.deleteRemote(3), std::nullopt);
    ASSERT_EQ(reloaded.deleteKey(2, 1, false), std::nullopt);
    ASSERT_EQ(reloaded.deleteKey(1, 0, true), std::nullopt); // its last key: the fan goes
    RemoteLibrary after;
    ASSERT_EQ(after.loadWithSources(path), std::nullopt);
    ASSERT_EQ(after.remotes().size(), 2u);
    EXPECT_EQ(after.remotes()[0].name, QStringLiteral("living_room_tv"));
    EXPECT_EQ(keysOf(after.remotes()[0]), (QStringList{"KEY_ONOFF", "KEY_MUTE"}));
    EXPECT_EQ(RemoteLibrary::sourceOf(after.remotes()[0]), QFileInfo(tv).absoluteFilePath());
    EXPECT_EQ(keysOf(after.remotes()[1]), QStringList{"KEY_POWER"});

    // LIRC reads the edited library and sends its keys by their new names.
    const QString irsimsend = QStandardPaths::findExecutable(QStringLiteral("irsimsend"));
    if (irsimsend.isEmpty()) {
        GTEST_SKIP() << "irsimsend (Debian package lirc) is not installed";
    }
    const test::ProgramRun sent = test::runProgram(irsimsend, {path}, dir.path());
    ASSERT_EQ(sent.status, 0) << sent.err.toStdString();
    EXPECT_EQ(sent.out.split('\n', Qt::SkipEmptyParts),
              (QStringList{"KEY_ONOFF", "KEY_MUTE", "KEY_POWER"}));
}

TEST(RemoteLibraryEdits, AnUnreadLibraryIsNeverWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("library.lircd.conf"));
    test::writeFile(path, kTv + "end codes\n");
    RemoteLibrary library;
    EXPECT_TRUE(library.loadWithSources(path));
    std::vector<LircRemote> read;
    const QString fan = dir.filePath(QStringLiteral("fan"));
    test::writeFile(fan, kFan);
    ASSERT_EQ(RemoteLibrary::readRemoteFiles({fan}, read), std::nullopt);
    EXPECT_TRUE(library.addRemotes(read).value_or(QString()).contains(QStringLiteral("not read")));
    EXPECT_EQ(test::readExisting(path), kTv + "end codes\n");
    // A file that cannot be read adds nothing, not even the good files before it.
    read.clear();
    EXPECT_TRUE(RemoteLibrary::readRemoteFiles({fan, path}, read)
                    .value_or(QString())
                    .startsWith(path + QStringLiteral(":")));
    EXPECT_TRUE(read.empty());
}

} // namespace
