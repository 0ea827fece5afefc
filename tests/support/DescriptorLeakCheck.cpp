#include "tests/support/DescriptorLeakCheck.h"

#include <QCoreApplication>
#include <QEvent>

void DescriptorLeakCheck::OnTestStart(const ::testing::TestInfo&) {
    before_ = openDescriptors();
}

void DescriptorLeakCheck::OnTestEnd(const ::testing::TestInfo&) {
    // One turn of the event loop, without waiting: a connection closed with bytes still queued
    // goes once its peer's reset or close is seen, and what was handed to deleteLater goes.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    OpenDescriptors after = openDescriptors();
    // Every thread with an event loop holds an eventfd, and Qt's worker threads (name lookups)
    // come and go on their pool's schedule, not the test's. The program makes none itself.
    std::erase_if(after, [](const auto& d) { return d.second == "anon_inode:[eventfd]"; });
    const std::string opened = descriptorsOpened(before_, after);
    // Reported while the test is still the current one, so the failure is the test's own.
    if (!opened.empty())
        ADD_FAILURE() << "descriptors left open by this test:\n" << opened;
}
