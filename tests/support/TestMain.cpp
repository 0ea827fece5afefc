// GoogleTest main inside a Qt application, so that sockets, notifiers and timers have an event
// loop to run in: a QApplication for tests that build QtWidgets views (LUMIVEX_GUI_TEST), a
// QCoreApplication for the widget-free core. Every test is checked for descriptors it leaves
// open.
#include "net/EchoService.h"
#include "tests/support/DescriptorLeakCheck.h"

#include <gtest/gtest.h>
#ifdef LUMIVEX_GUI_TEST
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef LUMIVEX_GUI_TEST
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The program keeps one echo socket for its whole life: opened before the first test, it
    // is charged to none.
    EchoService::instance().available();
    ::testing::UnitTest::GetInstance()->listeners().Append(new DescriptorLeakCheck);
    return RUN_ALL_TESTS();
}
