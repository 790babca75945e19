#pragma once

// 波形详图: the three channels drawn across whatever room the navigator gives, from the whole
// capture down to single samples, each pixel column showing the levels its span of samples
// holds. Under each trace, that channel's decoded frames: extent, leader, every bit's value and
// the label with the key's name. Wheel zooms about the pointer, a drag pans, a click sets the
// cursor and a second click measures the time between the two; a click on a frame chooses it.
// It knows only what it is given (lines, frames, key names); the panel and the window feed it.

#include <QImage>
#include <QWidget>

#include <array>
#include <optional>
#include <vector>

#include "core/channel_levels.h"
#include "infrared/frame_cells.h"
#include "infrared/ir_decoder.h"
#include "navigator/chart_geometry.h"

namespace velmoran::navigator {

class DetailChart : public QWidget {
    Q_OBJECT
public:
    explicit DetailChart(QWidget* parent = nullptr);

    // The line of channel `channel` (1 ... 3).
    void setLine(int channel, ChannelLevels line);
    // The frames of all channels (the chosen row's index refers to this order) and their keys'
    // names, in the same order (shorter or empty: no names).
    void setFrames(std::vector<infrared::IrFrame> frames, std::vector<QString> keyNames = {});
    void setKeyNames(std::vector<QString> keyNames);
    const std::vector<infrared::IrFrame>& frames() const { return frames_; }

    const ChartView& view() const { return view_; }
    // Shows samples [first, first + count), as far as the scale allows.
    void showSpan(double first, double count);
    // Shows the whole capture (全部显示).
    void showAll();
    // Marks frame `index` as chosen and shows it whole, centred (适合所选帧); -1 clears.
    void fitFrame(int index);
    // Marks frame `index` as chosen and brings it into view at the current zoom, fitting it
    // only when it is wider than the view.
    void followFrame(int index);
    int chosenFrame() const { return chosen_; }
    // Centres the view on `sample` at the current zoom.
    void centreOn(double sample);

    // The frame whose marks or trace lie under `pos`, or -1.
    int frameAt(QPointF pos) const;
    // The x in pixels of `sample` and the trace's high and low y of channel `channel`.
    double xOfSample(double sample) const { return view_.xOf(sample); }
    int traceHigh(int channel) const;
    int traceLow(int channel) const;
    // The y of the line carrying channel `channel`'s frame marks.
    int markLine(int channel) const;

    // The drawing without the cursor (what paintEvent copies); made again when stale.
    const QImage& chart() const;
    // The texts last drawn and where (for tests): bit digits, hex bytes, labels, axis labels.
    struct DrawnText {
        QRectF rect;
        QString text;
    };
    const std::vector<DrawnText>& drawnTexts() const;

    // Samples per pixel at the finest zoom.
    static constexpr double kFinestSamplesPerPixel = 1.0 / 32;
    // One wheel notch or key press zooms by this factor.
    static constexpr double kZoomStep = 1.25;

Q_SIGNALS:
    // The user chose frame `index` by clicking it.
    void frameClicked(int index);
    // The view changed (by the user or a call); `first` and `count` in samples.
    void viewChanged(double first, double count);
    // The cursor's time or the measured interval changed: the text the chart shows for it.
    void readoutChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Lane {
        int top = 0;
        int high = 0;
        int low = 0;
        int label = 0; // top of the frame labels
        int line = 0;  // the frames' line
        int values = 0;
        int bottom = 0;
        bool marks = true; // false when the lane is too short for the frames' band
    };
    Lane lane(int channel) const;
    int axisHeight() const;
    void setView(const ChartView& view);
    void zoomAbout(double factor, double x);
    void panBy(double pixels);
    void draw() const;
    // Pixel columns [first, last) of the chart.
    struct Columns {
        int first = 0;
        int last = 0;
    };
    // Draws lane `channel` (its rule, trace, name and frames) into the chart's image, over its
    // old drawing unless `onBackground`; only `columns` of it when given.
    void drawLane(int channel, bool onBackground, std::optional<Columns> columns = {}) const;
    void drawTrace(QImage& image, int channel, Columns columns) const;
    void drawAxis(QPainter& p) const;
    void drawFrames(QPainter& p, int channel) const;
    void drawFrame(QPainter& p, std::size_t index) const;
    void text(QPainter& p, const QRectF& rect, const QString& s, int flags) const;
    QString readout() const;

    std::array<ChannelLevels, kChannelCount> lines_{};
    std::vector<infrared::IrFrame> frames_;
    std::vector<QString> keyNames_;
    // Per frame, worked out when first drawn or asked for and kept until the frames or names
    // change: its cells and its label (an unknown burst's text is long to make, and a running
    // capture hands over every frame again each time).
    mutable std::vector<std::optional<infrared::FrameCells>> cells_;
    mutable std::vector<std::optional<QString>> labels_;
    const infrared::FrameCells& cellsOf(std::size_t index) const;
    const QString& labelOf(std::size_t index) const;
    int chosen_ = -1;
    ChartView view_{0, static_cast<double>(kCaptureSamples)};

    mutable QImage image_;
    mutable bool stale_ = true;
    // Lanes to draw again although the rest of the image stands (a capture's new blocks).
    mutable std::array<bool, kChannelCount> staleLanes_{};
    // Lane `channel`'s line or frames changed.
    void laneChanged(int channel);
    // Of lanes not stale as a whole, the columns to draw again (a capture's new blocks reach
    // only the lane's right part).
    mutable std::array<std::optional<Columns>, kChannelCount> staleColumns_{};
    // Lane `channel` changed between samples `from` and `to` only; frames drawn there reach to
    // the right, and a frame before them may have its label shortened.
    void laneChangedBetween(int channel, double from, double to);
    // The columns a drawing of only some columns keeps to (none: all).
    mutable std::optional<Columns> drawing_;
    mutable std::vector<DrawnText> texts_;

    // Pointer: where a press began (for drags), the hover cursor, and the measured pair.
    std::optional<QPointF> pressAt_;
    double pressFirst_ = 0;
    bool dragged_ = false;
    std::optional<double> hover_;
    std::optional<double> measureA_;
    std::optional<double> measureB_;
};

} // namespace velmoran::navigator
