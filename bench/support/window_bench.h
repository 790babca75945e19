#pragma once

// The shared start of the benchmarks that need the window's application.

#include <functional>

namespace velmoran::bench {

// Runs the benchmarks the command line names inside a QApplication set up as the program sets
// up its own (offscreen unless QT_QPA_PLATFORM says otherwise); returns main's exit code.
// `around`, when given, is called with the run, so that it can hold objects the benchmarks share
// for as long as they run.
int runWindowBenchmarks(int argc, char** argv,
                        const std::function<void(const std::function<void()>& run)>& around = {});

} // namespace velmoran::bench
