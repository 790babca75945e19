#pragma once

// Pronto hex, the learned ("0000") form: a word 0000, the carrier's period in units of
// 0.241246 µs, the number of mark/space pairs sent once, the number sent while a key is held,
// then each mark and space as a number of carrier periods.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

#include "infrared/ir_decoder.h"
#include "interchange/exporters.h"

namespace velmoran::interchange {

// The frames these writers take are the infrared decoders'.
using infrared::IrFrame;
using infrared::IrProtocol;

// The most mark/space pairs one code can count.
inline constexpr int kProntoMostPairs = 0xFFFF;

// The carrier a frame is written with, in Hz: its protocol's customary one (a frame the table
// read, by one of its protocols or the user's own: the one its description names).
int frameCarrierHz(const IrFrame& frame);

// The frame as Pronto hex sent once: its nominal marks and spaces at the protocol's customary
// carrier, the last space long enough for the protocol's next frame. A burst of more than
// 65,535 pairs takes several codes, one after the other, each of at most that many.
QStringList prontoCodesFromFrame(const IrFrame& frame);

// The frame's code (prontoCodesFromFrame's first, the only one for a frame that fits).
QString prontoFromFrame(const IrFrame& frame);

// The marks (positive) and spaces (negative) of a learned Pronto code in µs: the once part,
// then the repeat part `repeats` times. Nothing when the text is not a learned Pronto code.
std::optional<std::vector<double>> prontoDurations(const QString& text, int repeats = 1);

// The carrier frequency a learned Pronto code names, in Hz.
std::optional<double> prontoCarrierHz(const QString& text);

// Every distinct frame of one channel as a Pronto code, each under a comment naming its
// protocol and fields, after a comment saying where the carrier frequency comes from.
// `keyName` gives a frame's key name from a remote library (empty when it has none): the
// comment then ends in " key=NAME".
// `frames` are the channel's decoded frames in time order; a frame a protocol of the table read
// is named by that protocol and its parameters.
QByteArray exportPronto(int channel, const std::vector<IrFrame>& frames,
                        const std::function<QString(const IrFrame&)>& keyName = {});
// The same of the channel's frames (exportedFrames).
QByteArray exportPronto(const ExportChannel& channel,
                        const std::function<QString(const IrFrame&)>& keyName = {});

} // namespace velmoran::interchange
