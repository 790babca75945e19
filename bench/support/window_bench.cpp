#include "bench/support/window_bench.h"

#include <QApplication>
#include <benchmark/benchmark.h>

#include "app/application.h"

namespace velmoran::bench {

int runWindowBenchmarks(int argc, char** argv,
                        const std::function<void(const std::function<void()>& run)>& around) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    setUpApplication(app);
    benchmark::Initialize(&argc, argv);
    const auto run = [] { benchmark::RunSpecifiedBenchmarks(); };
    if (around) {
        around(run);
    } else {
        run();
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace velmoran::bench
