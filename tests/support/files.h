#pragma once

// Files on disk as tests read and write them.

#include <QByteArray>
#include <QString>

namespace velmoran::test {

// The bytes of `path`; empty when there is no such file or it cannot be read.
QByteArray readAll(const QString& path);

// The bytes of `path`, which must exist and be readable (a test failure otherwise).
QByteArray readExisting(const QString& path);

// Writes `bytes` to `path`, replacing it (a test failure when it cannot be written).
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace velmoran::test
