#pragma once

// lircd.conf, LIRC's file of remote definitions, read into and written from the remote model:
// "begin remote" … parameters … "begin codes" (NAME CODE lines) or "begin raw_codes" ("name
// NAME" and its durations) … "end remote", read the way LIRC reads it: a line starting with '#'
// is a comment, a later word starting with '#' ends its line, keywords in any case, numbers in
// decimal, 0x hex or 0 octal, flags joined with '|', `include "FILE"` lines (relative to the
// including file, wildcards allowed). Every number is checked against its bounds as it is read.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "infrared/remote_definition.h"

namespace velmoran::interchange {

using infrared::LircRemote;

// The longest remote or key name: LIRC reports a key only while its name and its remote's
// together fit its 256-byte message, so each gets at most 100 bytes.
inline constexpr int kMaxLircNameBytes = 100;
// The largest lircd.conf read (and the largest remote library written).
inline constexpr qint64 kMaxLircdConfBytes = 4 * 1024 * 1024;

// A name as read from a file, byte for byte: UTF-8 as text, any other bytes kept as the
// characters U+DC80–U+DCFF (which UTF-8 text never decodes to) so that they are written back
// unchanged by lircNameBytes.
QString lircName(const QByteArray& bytes);
QByteArray lircNameBytes(const QString& name);

// Why LIRC and this reader could not read `name` back as a key or remote name: empty, too long,
// a space or a control character in it, or "include" (which LIRC reads as an include line).
std::optional<QString> lircNameProblem(const QString& name);

// Appends the remotes the text defines. On an error nothing is appended and the reason is
// returned, naming the file and the line: "lircd.conf:17: no value for eps". What the matcher
// does not honour is added to `warnings`, by file and line: "lircd.conf:9: parameter baud is
// not honoured", "lircd.conf:30: remote tv can never match: flag SERIAL is not honoured".
std::optional<QString> readLircdConf(const QByteArray& text, const QString& fileName,
                                     std::vector<LircRemote>& remotes,
                                     QStringList* warnings = nullptr);

// Reads a file as above; the reason also when it cannot be read: only a regular file of at most
// kMaxLircdConfBytes is read (never a FIFO or device, which could block or never end).
std::optional<QString> readLircdConfFile(const QString& path, std::vector<LircRemote>& remotes,
                                         QStringList* warnings = nullptr);

// The remotes as lircd.conf text, each after its comment, after the file's `preamble` (comment
// lines, written as given).
QByteArray writeLircdConf(const std::vector<LircRemote>& remotes, const QByteArray& preamble = {});

} // namespace velmoran::interchange
