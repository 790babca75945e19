#pragma once

// The user's remote library: one lircd.conf in the program's data folder holding the remotes
// imported from other lircd.conf files and the keys the user named in captures. Every frame is
// looked up by the LIRC matcher, so imported and learned remotes are matched alike. The file is
// written whole or not at all; a library that could not be read is never overwritten.

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "infrared/ir_decoder.h"
#include "infrared/remote_definition.h"

namespace velmoran::interchange {

struct LibraryKey {
    QString remote;
    QString key;
    friend bool operator==(const LibraryKey&, const LibraryKey&) = default;
};

class RemoteLibrary {
public:
    RemoteLibrary();
    ~RemoteLibrary();
    RemoteLibrary(const RemoteLibrary&) = delete;
    RemoteLibrary& operator=(const RemoteLibrary&) = delete;

    // remotes.lircd.conf in the program's data folder (the window's
    // QStandardPaths::AppDataLocation: ~/.local/share/Velmoran/Velmoran on Linux).
    static QString defaultPath();

    // Reads the library at `path`; a missing file is an empty library. On an error the reason
    // ("PATH:LINE: …", or why the file is not read: no regular file, too large), and the
    // library stays empty and refuses to be written. Every write is checked to read back with
    // the same remotes and keys and to stay within what is read.
    std::optional<QString> load(const QString& path);
    const QString& path() const { return path_; }
    const std::vector<infrared::LircRemote>& remotes() const { return remotes_; }

    // Adds the remotes of lircd.conf files and writes the library; on an error in any file or
    // in the writing, the reason and nothing added. What the matcher does not honour goes to
    // `warnings` by file and line.
    std::optional<QString> importFiles(const QStringList& files, QStringList* warnings = nullptr);

    // Names the frame's key (a name with spaces gets '_' for them) and writes the library; an
    // empty name removes the key. Decoded frames go into a remote per protocol and address,
    // analysed unknown ones into a SPACE_ENC remote of their timings, others into raw codes.
    // A name LIRC or this library could not read back (see lircNameProblem) is refused.
    std::optional<QString> nameFrame(const infrared::IrFrame& frame, const QString& name);
    // The name a typed text is saved under, and why it cannot be (nothing for an empty text,
    // which removes the key).
    static QString keyName(const QString& text);
    static std::optional<QString> keyNameProblem(const QString& text);

    // Each frame's remote and key; a repeat code takes its channel's last key.
    std::vector<std::optional<LibraryKey>>
    lookup(const std::vector<infrared::IrFrame>& frames) const;
    std::optional<LibraryKey> lookup(const infrared::IrFrame& frame) const;

    // The library as the window's 遥控器库 shows and edits it: where each remote came from,
    // adding remotes read elsewhere, renaming and deleting remotes and keys. Each change writes
    // the library and is refused, with the reason, when it cannot be written.

    // load(), then each remote's comment as the file keeps it above the remote (the source of
    // an imported remote is a line of it, which LIRC reads as a comment).
    std::optional<QString> loadWithSources(const QString& path);
    // The file a remote was imported from; empty for one whose keys were named in captures.
    static QString sourceOf(const infrared::LircRemote& remote);
    // Reads lircd.conf `files` into `remotes`, each remote's source its file; the reason
    // ("FILE:LINE: …") when one cannot be read, and then nothing is added to `remotes`. What the
    // matcher does not honour is added to `warnings`, by file and line.
    static std::optional<QString> readRemoteFiles(const QStringList& files,
                                                  std::vector<infrared::LircRemote>& remotes,
                                                  QStringList* warnings = nullptr);
    // The library remote that sends the same codes as `remote` (the same encoding, timings and
    // code values, whatever the names), if any.
    std::optional<std::size_t> sameCodesAs(const infrared::LircRemote& remote) const;
    // Adds `remotes` (a name already in the library gets "_2", "_3" …).
    std::optional<QString> addRemotes(std::vector<infrared::LircRemote> remotes);
    // A new name (spaces become '_'); an empty one, or a name another remote or key of the
    // same remote has, is refused.
    std::optional<QString> renameRemote(std::size_t remote, const QString& name);
    std::optional<QString> renameKey(std::size_t remote, std::size_t key, bool raw,
                                     const QString& name);
    // Removes a remote, or one key (a remote left without keys goes too).
    std::optional<QString> deleteRemote(std::size_t remote);
    std::optional<QString> deleteKey(std::size_t remote, std::size_t key, bool raw);

private:
    std::optional<infrared::LircKey> keyOf(const infrared::IrFrame& frame) const;
    LibraryKey named(const infrared::LircKey& key) const;
    std::optional<QString> commit(std::vector<infrared::LircRemote> remotes);

    QString path_;
    std::vector<infrared::LircRemote> remotes_;
    std::unique_ptr<infrared::LircMatcher> matcher_;
    std::optional<QString> unreadable_; // why the file was not read: it is never overwritten
};

} // namespace velmoran::interchange
