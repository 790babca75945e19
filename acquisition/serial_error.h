#pragma once

#include <QString>
#include <stdexcept>

namespace velmoran {

// A failure of the serial layer, carrying a text meant for the user.
class SerialError : public std::runtime_error {
public:
    explicit SerialError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// The text for a port another program is using; `pid` 0 when that program is not known.
inline QString portBusyText(int port, const QString& path, qint64 pid) {
    const QString head = QString::fromUtf8("串口 %1（%2）正被其他程序使用").arg(port).arg(path);
    if (pid > 0) {
        return head + QString::fromUtf8("（进程号 %1），请先关闭该程序再采集").arg(pid);
    }
    return head + QString::fromUtf8("，请先关闭该程序再采集");
}

// The text for a port whose lock file is no regular file (`kind`: 命名管道, 文件夹, ...): whether
// another program holds the port cannot be told, so the port is left alone.
inline QString portLockUnusableText(int port, const QString& path, const QString& lockFile,
                                    const QString& kind) {
    return QString::fromUtf8("串口 %1（%2）的锁文件 %3 是%4，不是普通文件，无法确认串口是否空闲；"
                             "请检查或删除该文件后再采集")
        .arg(port)
        .arg(path, lockFile, kind);
}

} // namespace velmoran
