#pragma once

// A surface that writes down what is drawn on it, so tests can assert the chart as numbers.

#include <QRgb>
#include <QString>

#include <ostream>
#include <vector>

#include "display/surface.h"

namespace velmoran::test {

struct Segment {
    float x1, y1, x2, y2;
    QRgb color;
    bool operator==(const Segment&) const = default;
};

struct PrintedText {
    float x, y;
    QString text;
    QRgb color;
    bool operator==(const PrintedText&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Segment& s) {
    return os << "(" << s.x1 << ", " << s.y1 << ")-(" << s.x2 << ", " << s.y2 << ") #" << std::hex
              << (s.color & 0xffffff) << std::dec;
}

inline std::ostream& operator<<(std::ostream& os, const PrintedText& t) {
    return os << '"' << t.text.toStdString() << "\" at (" << t.x << ", " << t.y << ") #" << std::hex
              << (t.color & 0xffffff) << std::dec;
}

class RecordingSurface : public Surface {
public:
    // Outer size of the window's Picture1, in twips.
    static constexpr float kDesignWidth = 10215.0f;
    static constexpr float kDesignHeight = 5175.0f;
    // How far a Print moves the pen down (one text line), in twips.
    static constexpr float kTextLine = 180.0f;

    explicit RecordingSurface(float width = kDesignWidth, float height = kDesignHeight)
        : width_(width), height_(height) {}

    void Line(float x1, float y1, float x2, float y2, QRgb color) override {
        segments.push_back({x1, y1, x2, y2, color});
        x_ = x2;
        y_ = y2;
    }
    void LineTo(float x2, float y2, QRgb color) override { Line(x_, y_, x2, y2, color); }
    void Cls() override {
        ++clears;
        segments.clear();
        texts.clear();
        x_ = 0;
        y_ = 0;
    }
    void Print(const QString& text) override {
        texts.push_back({x_, y_, text, foreColor_});
        x_ = 0;
        y_ += kTextLine;
    }
    float CurrentX() const override { return x_; }
    float CurrentY() const override { return y_; }
    void setCurrentX(float x) override { x_ = x; }
    void setCurrentY(float y) override { y_ = y; }
    QRgb ForeColor() const override { return foreColor_; }
    void setForeColor(QRgb color) override { foreColor_ = color; }
    float Width() const override { return width_; }
    float Height() const override { return height_; }

    // The segments drawn in `color`, in drawing order.
    std::vector<Segment> inColour(QRgb color) const {
        std::vector<Segment> out;
        for (const Segment& s : segments) {
            if (s.color == color) {
                out.push_back(s);
            }
        }
        return out;
    }

    std::vector<Segment> segments;
    std::vector<PrintedText> texts;
    int clears = 0;

private:
    float width_, height_;
    float x_ = 0, y_ = 0;
    QRgb foreColor_ = qRgb(0, 0, 0);
};

} // namespace velmoran::test
