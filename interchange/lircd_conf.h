#pragma once

// lircd.conf, LIRC's file of remote definitions, read into and written from the remote model:
// "begin remote" … parameters … "begin codes" (NAME CODE lines) or "begin raw_codes" ("name
// NAME" and its durations) … "end remote", '#' to the end of a line a comment, numbers in
// decimal or 0x hex, flags joined with '|'.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "infrared/remote_definition.h"

namespace velmoran::interchange {

using infrared::LircRemote;

// Appends the remotes the text defines. On an error nothing is appended and the reason is
// returned, naming the file and the line: "lircd.conf:17: no value for eps". What the matcher
// does not honour is added to `warnings`, by file and line: "lircd.conf:9: parameter baud is
// not honoured", "lircd.conf:30: remote tv can never match: flag SERIAL is not honoured".
std::optional<QString> readLircdConf(const QByteArray& text, const QString& fileName,
                                     std::vector<LircRemote>& remotes,
                                     QStringList* warnings = nullptr);

// Reads a file as above; the reason also when it cannot be read.
std::optional<QString> readLircdConfFile(const QString& path, std::vector<LircRemote>& remotes,
                                         QStringList* warnings = nullptr);

// The remotes as lircd.conf text, each after its comment, after the file's `preamble` (comment
// lines, written as given).
QByteArray writeLircdConf(const std::vector<LircRemote>& remotes, const QByteArray& preamble = {});

} // namespace velmoran::interchange
