#pragma once
// Answers the modal dialogs that a step of a test opens, as a user would. The dialog may open
// at once or only after events from outside (a window manager): the test looks for it every
// few milliseconds from the event loop, never blocking the loop while it waits.

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <type_traits>

// Runs `act` on the next modal dialog of type T, once it is open (for at most 10 seconds).
template <typename T = QDialog>
void onNextDialog(std::type_identity_t<std::function<void(T&)>> act) {
    auto* poll = new QTimer;
    auto ticks = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, ticks, act] {
        T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!dialog && ++*ticks < 1000)
            return;
        poll->stop();
        poll->deleteLater();
        ASSERT_NE(dialog, nullptr) << "no dialog opened";
        act(*dialog);
    });
    poll->start(10);
}

// Types into the next password dialog and presses Return (OK is the default button).
inline void typePassword(const char* text) {
    onNextDialog<QDialog>([password = QString::fromLatin1(text)](QDialog& dialog) {
        QLineEdit* edit = dialog.findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->echoMode(), QLineEdit::Password);
        QTest::keyClicks(edit, password);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}
