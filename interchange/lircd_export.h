#pragma once

// A LIRC remote definition (lircd.conf) of the frames in one channel: one remote per protocol
// and address found, with the protocol's timings checked against the capture, one named code
// per distinct command, in LIRC's own encoding of the family's description
// (infrared/family_protocols.h, interchange/lircd_irp.h); frames no decoder knows go into a
// remote of their inferred coding (pulse-distance and pulse-width as SPACE_ENC, bi-phase as RC5,
// one code per distinct payload) when the analysis found one LIRC can hold, else into a remote
// of raw codes. Frames a protocol of the IRP table read (the user's own included) go into a
// remote of that protocol and device in LIRC's own encoding where it has one, else into the
// coding their marks and spaces show, else into the raw codes.

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

#include "infrared/ir_decoder.h"
#include "infrared/remote_definition.h"
#include "interchange/exporters.h"

namespace velmoran::interchange {

// The frames these writers take are the infrared decoders'.
using infrared::IrFrame;
using infrared::IrProtocol;

// Key names chosen by the user. A line "COMMAND NAME" names a command in every remote, a line
// "PROTOCOL ADDRESS COMMAND NAME" one in a remote ("NEC 0x04 0x08 KEY_POWER"); values as
// velmoran-ird decode prints them, '#' starts a comment.
struct KeyNames {
    QMap<QString, QString> byKey; // "NEC 0x04 0x08" or "0x08" -> name
    // The name a remote library gives the frame's key, empty when none; the map above wins.
    std::function<QString(const IrFrame&)> library;
    QString known(const IrFrame& frame) const { return library ? library(frame) : QString(); }
};

// Parses a key-name file's text; the reason when a line is neither form.
std::optional<QString> parseKeyNames(const QString& text, KeyNames& names);

// The name of a frame's key: from the map, else from the library, else KEY_ and the command in hex
// ("KEY_0x08").
QString keyName(const IrFrame& frame, const KeyNames& names);

// The remote a frame belongs to in the lircd.conf ("NEC_0x04", "RC5_0x05", "Unknown_PD48" for
// an inferred coding, "Unknown" for raw codes).
QString remoteName(const IrFrame& frame);

// The LIRC remote a frame's key goes into: the protocol's flags and nominal timings, its bits
// and masks, LIRC's default tolerances and no codes; a RAW_CODES remote for an Unknown frame.
infrared::LircRemote lircRemoteOf(const IrFrame& frame);

// The frame's code in that remote (toggle bit clear); a NEC repeat code gives its key's code.
uint64_t lircCodeOf(const IrFrame& frame);

// The remotes of `frames`, channel `channel`'s decoded frames in time order. `warnings`, when
// given, collects what the reader should know (two commands given one name).
QByteArray exportLircd(int channel, const std::vector<IrFrame>& frames, const KeyNames& names = {},
                       QStringList* warnings = nullptr);
// The same of the channel's frames (exportedFrames).
QByteArray exportLircd(const ExportChannel& channel, const KeyNames& names = {},
                       QStringList* warnings = nullptr);

} // namespace velmoran::interchange
