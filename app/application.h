#pragma once

#include <QApplication>

namespace velmoran {

// Application-wide set-up shared by the program, the demo and the tests: names, the icon, and
// the font that stands for 宋体 9 pt.
void setUpApplication(QApplication& app);

// The window icon (32 x 32, drawn by the program itself).
QIcon applicationIcon();

// The font of every text in the windows: 宋体 9 pt, mapped to the nearest installed CJK serif.
QFont songtiFont(bool bold = false);

// When VELMORAN_STARTUP_PROBE is set, prints "shown <CLOCK_MONOTONIC seconds>" to stdout once
// `window` has been painted for the first time (used by bench/startup).
void installStartupProbe(QWidget& window);

} // namespace velmoran
