// GoogleTest main for tests of the widget-free core: a QCoreApplication so that sockets,
// notifiers and timers have an event loop to run in. Every test is checked for descriptors
// it leaves open.
#include "net/EchoService.h"
#include "tests/support/DescriptorLeakCheck.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The program keeps one echo socket for its whole life: opened before the first test, it
    // is charged to none.
    EchoService::instance().available();
    ::testing::UnitTest::GetInstance()->listeners().Append(new DescriptorLeakCheck);
    return RUN_ALL_TESTS();
}
