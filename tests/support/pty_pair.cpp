#include "support/pty_pair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace velmoran::test {

PtyPair::PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    // Raw on both sides, so that every byte value passes unchanged.
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    slavePath_ = QString::fromLocal8Bit(name);
    // Non-blocking, so a writer on the program's own thread can let the program read meanwhile.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    closeMaster();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

void PtyPair::write(const QByteArray& bytes) {
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(master_, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                QCoreApplication::processEvents();
                continue;
            }
            throw std::runtime_error("write to pty master failed");
        }
        p += n;
        left -= n;
    }
}

void PtyPair::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

QByteArray pattern(int size, int seed) {
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i) {
        b[i] = static_cast<char>((i * 7 + i / 256 + seed) & 0xFF);
    }
    return b;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::usleep(200);
    }
    return true;
}

} // namespace velmoran::test
