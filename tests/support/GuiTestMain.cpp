// GoogleTest main for tests that build QtWidgets views. Every test is checked for descriptors
// it leaves open.
#include "net/EchoService.h"
#include "tests/support/DescriptorLeakCheck.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The program keeps one echo socket for its whole life: opened before the first test, it
    // is charged to none.
    EchoService::instance().available();
    ::testing::UnitTest::GetInstance()->listeners().Append(new DescriptorLeakCheck);
    return RUN_ALL_TESTS();
}
