#pragma once

// The decoded frames of the three channels and the key each one sends, held once for every
// reader: the frame list, the overview, the charts' marks and the exports. Decoded once per
// change (a load, the blocks a capture just stored, a library edit) and told by `changed`; no
// reader decodes again.

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/channel_buffer.h"
#include "infrared/ir_decoder.h"
#include "infrared/irp/irp_decode.h"
#include "interchange/remote_library.h"

namespace velmoran::interchange {

class FramesModel : public QObject {
    Q_OBJECT
public:
    // `buffers` are read, never written; they live as long as the model.
    explicit FramesModel(const ChannelBuffers& buffers, QObject* parent = nullptr);

    // The library the keys are looked up in (nullptr: no keys); not owned.
    void setLibrary(const RemoteLibrary* library);
    // The protocols the frames are read with from now on, in place of the built-in table and
    // the user's file.
    void setProtocols(infrared::irp::ProtocolTable protocols);

    // Every `channel` below is 1, 2 or 3.
    // Channel `channel`'s frames in time order.
    const std::vector<infrared::IrFrame>& frames(int channel) const;
    // The key each of those frames sends, in the same order: the remote's name and the key's,
    // empty when the library has none.
    const std::vector<std::optional<LibraryKey>>& keys(int channel) const;
    // The key of frame `index` of `channel` as the list shows it ("tv: KEY_POWER"), and its bare
    // name ("KEY_POWER"); empty when none.
    QString keyShown(int channel, std::size_t index) const;
    QString keyName(int channel, std::size_t index) const;
    // Frames of all three channels.
    std::size_t frameCount() const;

    // Since the last `changed(channel)`, the frames of `channel` before this index are those it
    // held before; from it on they are new (0 after a whole decoding).
    std::size_t firstChanged(int channel) const;
    // From this sample on, `channel`'s line may differ since the last `changed(channel)`.
    int64_t changedFromSample(int channel) const;
    // How far `channel`'s line holds samples of the data shown: the capture's end, or during a
    // capture into it the samples stored so far.
    int64_t reachedSample(int channel) const;

    // Decodes all three channels again (after a load or at start-up), with the protocol table
    // read again (the user's protocols file may have changed).
    void decodeAll();
    // Decodes channel `channel` whole again (the end of a capture into it).
    void decodeChannel(int channel);
    // A capture into `channel` begins: its frames go, and its line holds nothing of the data
    // shown until blocks arrive.
    void startCapture(int channel);
    // A capture into `channel` has stored its first `storedBytes` bytes: decodes only what
    // arrived since the frames already settled (the line is taken to rest at its last level
    // after the stored bytes; the rest of the buffer still holds an older capture). While more
    // is to come, a burst still arriving is shown as the decoders read it, and the protocol
    // table reads it once it is whole; and where the new frames need every protocol of the
    // table before it is prepared, nothing changes (false): the table is prepared a slice at a
    // time from the event loop, so that no look blocks the window, and the caller looks again.
    bool decodeArrived(int channel, int storedBytes, bool moreToCome = true);
    // Frames of `channel` found elsewhere (a test, a list of frames given by hand) in place of
    // those decoded from its buffer.
    void setFrames(int channel, std::vector<infrared::IrFrame> frames);
    // Looks every frame's key up again (after the library changed).
    void refreshKeys();

Q_SIGNALS:
    // The frames of `channel` changed, and with them their keys (see firstChanged and
    // changedFromSample).
    void changed(int channel);
    // Only the keys of `channel`'s frames changed (the library did).
    void keysChanged(int channel);

private:
    struct Channel {
        std::vector<infrared::IrFrame> frames;
        std::vector<std::optional<LibraryKey>> keys;
        std::size_t firstChanged = 0;
        int64_t changedFrom = 0;
        int64_t reached = kCaptureSamples;
        // During a capture: frames before this index are complete and stay, and decoding
        // resumes at `resumeSample`, in an idle stretch after them.
        std::size_t settledFrames = 0;
        int64_t resumeSample = 0;
    };
    // `channel` is 1 ... 3 in every call (a caller's error otherwise).
    Channel& at(int channel);
    const ChannelBuffer& buffer(int channel) const;
    const Channel& at(int channel) const;
    void lookUpKeys(Channel& c, std::size_t from) const;

    ChannelBuffers buffers_;
    const RemoteLibrary* library_ = nullptr;
    std::array<Channel, kChannelCount> channels_;
    // The protocols that read the bursts the family decoders leave: the built-in table and the
    // user's own, read when first needed (a window that has decoded nothing holds none).
    mutable std::optional<infrared::irp::ProtocolTable> protocols_;
    bool protocolsGiven_ = false; // by setProtocols: kept when the frames are decoded anew
    const infrared::irp::ProtocolTable& protocols() const;
    // Prepares the table's protocols a slice at a time, each from an event of its own.
    void prepareProtocols();
    void prepareSlice();
    bool preparing_ = false;
    // The frames in `line` of `channel`, the table's protocols named.
    std::vector<infrared::IrFrame> decode(const ChannelLevels& line, int channel) const;
};

} // namespace velmoran::interchange
