#pragma once

// The drawing operations the chart needs of a picture box, in twips. The window's Picture1
// implements them on a retained image; tests implement them with a recorder.

#include <QRgb>
#include <QString>

namespace velmoran {

class Surface {
public:
    virtual ~Surface() = default;

    // Segment (x1, y1)-(x2, y2); the pen is left at (x2, y2).
    virtual void Line(float x1, float y1, float x2, float y2, QRgb color) = 0;
    // Segment from the pen to (x2, y2); the pen is left at (x2, y2).
    virtual void LineTo(float x2, float y2, QRgb color) = 0;
    // Fills the surface with its background colour; the pen goes to (0, 0).
    virtual void Cls() = 0;
    // Text with its top-left at the pen, in ForeColor.
    virtual void Print(const QString& text) = 0;

    virtual float CurrentX() const = 0;
    virtual float CurrentY() const = 0;
    virtual void setCurrentX(float x) = 0;
    virtual void setCurrentY(float y) = 0;
    virtual QRgb ForeColor() const = 0;
    virtual void setForeColor(QRgb color) = 0;

    // Outer size in twips, border included.
    virtual float Width() const = 0;
    virtual float Height() const = 0;
};

} // namespace velmoran
