#pragma once

// The one place where twips (the unit of every position in the windows) meet pixels.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <cmath>

#include "core/constants.h"

namespace velmoran {

// Twips to logical pixels, rounded to the nearest pixel.
inline int twipsToPixels(double twips) {
    return static_cast<int>(std::floor(twips / kTwipsPerPixel + 0.5));
}

// Logical pixels (possibly fractional, from a mouse event) to twips.
inline float pixelsToTwips(double pixels) {
    return static_cast<float>(pixels * kTwipsPerPixel);
}

inline QPointF pixelsToTwips(QPointF p) {
    return {pixelsToTwips(p.x()), pixelsToTwips(p.y())};
}

// A rectangle given in twips (left, top, width, height), in pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

} // namespace velmoran

namespace velmoran {

// A position in twips on a surface drawn at `devicePixelRatio`, as a whole device pixel.
inline int twipsToDevicePixels(double twips, double devicePixelRatio) {
    return static_cast<int>(std::floor(twips * devicePixelRatio / kTwipsPerPixel + 0.5));
}

} // namespace velmoran
