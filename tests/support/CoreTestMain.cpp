// GoogleTest main for tests of the widget-free core: a QCoreApplication so that sockets,
// notifiers and timers have an event loop to run in.
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
