#pragma once

// Overview: each channel's whole capture as one strip across the widget's full width, one pixel
// column per span of samples (low, high, or a full-height stroke where the span holds edges),
// with the part the chart shows marked. A click or a drag at a fraction of the width asks for
// the chart to move there.

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>

#include "core/channel_buffer.h"

namespace velmoran::navigator {

class Overview : public QWidget {
    Q_OBJECT
public:
    explicit Overview(QWidget* parent = nullptr);

    // The buffers the strips show (kept by pointer: they live as long as the window); the
    // columns are computed again now and whenever the width changes.
    void setBuffers(const ChannelBuffers& buffers);
    // Recomputes the columns from the buffers (after a load); every line whole again.
    void refresh();
    // Channel `channel`'s (1 ... 3) line holds the data shown only before sample `reached` (a
    // capture into it runs; beyond, the buffer still holds an older one) and changed from
    // `fromSample` on: only the columns that span it are drawn again.
    void refreshChannel(int channel, int64_t fromSample, int64_t reached);
    // The part of the capture the chart shows, in samples.
    void setView(int64_t firstSample, int64_t sampleCount);

    // Top of channel `channel`'s strip (1 ... 3) and the strips' height, in pixels.
    static int stripTop(int channel);
    static constexpr int kStripHeight = 14;
    static constexpr int kStripGap = 6;
    static int fixedHeight();

    // The drawing of the strips without the view mark (for tests and benchmarks).
    const QImage& strips() const;

Q_SIGNALS:
    // A click or a drag at `fraction` (0 ... 1) of the width.
    void fractionChosen(double fraction);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void choose(double x);
    // Draws the strips again when the buffers or the width changed since they were drawn.
    void drawStrips() const;
    // Draws columns [from, to) of channel `channel`'s strip.
    void drawColumns(int channel, int from, int to) const;

    ChannelBuffers buffers_{};
    // Drawn when first painted or asked for, not while the widget is hidden or being resized.
    mutable QImage strips_;
    mutable bool stale_ = true;
    std::array<int64_t, kChannelCount> reached_{kCaptureSamples, kCaptureSamples, kCaptureSamples};
    // Per channel, the first column to draw again (the width when none).
    mutable std::array<int, kChannelCount> dirtyFrom_{};
    int64_t viewFirst_ = 0;
    int64_t viewCount_ = 0;
};

} // namespace velmoran::navigator
