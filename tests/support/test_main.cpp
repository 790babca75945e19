#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef VELMORAN_TEST_WITH_APP
#include "app/application.h"
#endif

int main(int argc, char** argv) {
    // Headless unless the caller chose a platform: the suite must run without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
#ifdef VELMORAN_TEST_WITH_APP
    velmoran::setUpApplication(app);
#endif
    return RUN_ALL_TESTS();
}
