#pragma once

// The About window's fade-in, in 1/255 steps of opacity: it opens at 1, then every 10 ms rises
// by 5 until it is exactly 255 (fully opaque): 1, 5, 10, ..., 250, 255.

#include <QString>

#include <chrono>
#include <cstdint>

namespace velmoran {

inline constexpr int16_t kFadeStartAlpha = 1;
inline constexpr int16_t kFadeStep = 5;
inline constexpr int16_t kFadeOpaque = 255;
inline constexpr std::chrono::milliseconds kFadeInterval{10};

// The fade level after one more step from `level`; never above opaque.
inline int16_t nextFadeLevel(int16_t level) {
    const int next = level + kFadeStep;
    return static_cast<int16_t>(next > kFadeOpaque ? kFadeOpaque : next);
}

// Whether the fade has reached full opacity (the timer stops there).
inline bool fadeComplete(int16_t level) {
    return level >= kFadeOpaque;
}

// Whether windows of the Qt platform plugin `platformName` can be made translucent: the
// desktop window systems can; offscreen, minimal, framebuffer and VNC platforms, and Wayland
// (no opacity protocol in Qt 6.4), cannot.
bool fadeSupportedOn(const QString& platformName);

} // namespace velmoran
