#include "files/program_start.h"

#include <QFile>

#include <csignal>

namespace velmoran {

void ignoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

std::optional<QString> argumentText(const char* argument) {
    const QByteArray bytes(argument);
    const QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) != bytes) {
        return std::nullopt;
    }
    return text;
}

QString unrepresentableArgumentText(const char* argument) {
    // The name with every byte outside printable ASCII as \xNN, as a shell's $'...' takes it.
    QString shown;
    for (const char* c = argument; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        constexpr unsigned char kFirstPrintable = 0x20;
        constexpr unsigned char kLastPrintable = 0x7e;
        shown += byte >= kFirstPrintable && byte <= kLastPrintable && byte != '\\'
                     ? QString(QLatin1Char(*c))
                     : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return QStringLiteral("\"%1\" holds bytes that are not valid in the system's encoding of file "
                          "names, so this program cannot name that file")
        .arg(shown);
}

} // namespace velmoran
