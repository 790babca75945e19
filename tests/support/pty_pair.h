#pragma once

// A pseudo-terminal pair for serial tests: the slave is what the program opens as its port, the
// master is where the test (or the board emulator) writes the board's bytes.

#include <QByteArray>
#include <QString>

#include <functional>

namespace velmoran::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    QString slavePath() const { return slavePath_; }
    int masterFd() const { return master_; }
    // Writes every byte to the master (blocking until done).
    void write(const QByteArray& bytes);
    // Closes the master: to the slave side the line is gone.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1; // kept open so the pair survives the program closing its port
    QString slavePath_;
};

// `size` bytes of every value, in an order that shows a lost, doubled or swapped byte; `seed`
// shifts the values so that consecutive writes differ.
QByteArray pattern(int size, int seed = 0);

// Runs the event loop until `done` returns true or `timeoutMs` passes; returns done().
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

} // namespace velmoran::test
