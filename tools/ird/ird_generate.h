#pragma once

// `velmoran-ird generate`: a protocol of the table and its parameters made into the files other
// tools read: a capture (.ird, the code on channel 1), LIRC mode2 text, a Pronto code, a
// lircd.conf of raw codes, or a C array of marks and spaces for a microcontroller
// (interchange/c_array.h).

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "core/channel_buffer.h"
#include "infrared/irp/irp.h"

namespace velmoran::interchange {

// Where the generated code starts in a capture, so that the line rests before it.
inline constexpr double kGeneratedStartUs = 100000;

// The marks (positive) and spaces (negative) of one press held for `repeats` repeats: the
// intro, the repeat `repeats` times (once more when there is no intro) and the ending.
std::vector<double> pressDurations(const infrared::irp::Signal& signal, int repeats);

// The durations sampled into a channel buffer from kGeneratedStartUs on (line high at rest, low
// during marks); an error when they do not fit into one capture.
std::optional<QString> sampleInto(const std::vector<double>& durations, ChannelBuffer& buffer);

// "pulse N" / "space N" lines in whole µs, after a space of kGeneratedStartUs.
QByteArray generatedMode2(const std::vector<double>& durations);

// A learned Pronto code: the intro sent once, the repeat while held.
QString generatedPronto(const infrared::irp::Signal& signal);

// A lircd.conf with one remote of raw codes: the press as its one code.
QByteArray generatedLircd(const QString& remote, const QString& key,
                          const infrared::irp::Signal& signal);

} // namespace velmoran::interchange
