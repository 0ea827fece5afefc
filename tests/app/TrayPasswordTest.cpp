// Minimizing to the tray, the tray icon's messages, and the password checks on restoring and
// on exiting from the tray.

#include "app/Form1.h"
#include "app/Form2.h"
#include "model/GlobalSettings.h"
#include "tests/app/MainFixture.h"

#include <QSignalSpy>
#include <optional>

namespace {

constexpr int kTwips = 15;

class TrayPasswordTest : public MainFixture {
protected:
    TrayPasswordTest() {
        globals() = GlobalSettings{};
        tray.available = true;
    }
    void start() {
        main = makeMain();
        main->Timer1_Timer();
    }
    // Answers the password entry dialog with text, or with Cancel when there is none.
    void answerPassword(std::optional<QString> text) {
        host.onModal = [this, text](Form& dialog) {
            ++passwordQuestions;
            auto* entry = qobject_cast<Form2*>(&dialog);
            ASSERT_NE(entry, nullptr);
            if (!text) {
                entry->Command2->click();
                return;
            }
            entry->Text1->setText(*text);
            entry->Command1->click();
        };
    }

    std::unique_ptr<frmMain> main;
    int passwordQuestions = 0;
};

TEST_F(TrayPasswordTest, MinimizingHidesInTheTrayOnlyWhenThereIsOne) {
    for (const bool available : {true, false}) {
        tray.available = available;
        start();
        ASSERT_TRUE(main->Visible);
        EXPECT_FALSE(main->RestoreLocked); // not locked at start
        main->changeWindowState(1);
        EXPECT_TRUE(main->RestoreLocked);
        EXPECT_EQ(main->Visible, !available) << available;
    }
}

TEST_F(TrayPasswordTest, AWindowStoredMinimizedStartsInTheTray) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nWindowState=1\n"));
    start();
    EXPECT_TRUE(main->isShown());
    EXPECT_FALSE(main->Visible);
    EXPECT_TRUE(main->RestoreLocked);
}

TEST_F(TrayPasswordTest, TrayMessagesActOnlyWhileMinimized) {
    struct Row {
        bool minimized;
        double x;
        bool restores;
        bool menu;
    };
    const Row rows[] = {
        {true, 515 * kTwips, true, false},     // left double click
        {true, 515 * kTwips - 7, true, false}, // rounds to 515
        {true, 517 * kTwips, false, true},     // right button up
        {true, 514 * kTwips, false, false},    // left button up
        {true, 512 * kTwips, false, false},    // mouse move
        {false, 515 * kTwips, false, false},   {false, 517 * kTwips, false, false},
    };
    for (const Row& row : rows) {
        start();
        if (row.minimized)
            main->changeWindowState(1);
        QSignalSpy menu(main.get(), &frmMain::trayMenuRequested);
        QSignalSpy front(main.get(), &frmMain::activateRequested);
        main->Picture1_MouseMove(row.x);
        EXPECT_EQ(main->WindowState == 0 && main->Visible, row.restores || !row.minimized) << row.x;
        EXPECT_EQ(menu.count(), row.menu ? 1 : 0) << row.x;
        EXPECT_EQ(front.count(), 0) << row.x;
    }
}

TEST_F(TrayPasswordTest, OpenOnAShownWindowBringsItToTheFront) {
    start();
    QSignalSpy front(main.get(), &frmMain::activateRequested);
    main->mnuOpen->click();
    EXPECT_EQ(front.count(), 1);
    EXPECT_EQ(main->WindowState, 0);
}

TEST_F(TrayPasswordTest, RestoringWithoutAPasswordNeverAsks) {
    start();
    answerPassword(QStringLiteral("x"));
    main->changeWindowState(1);
    main->mnuOpen->click();
    EXPECT_EQ(passwordQuestions, 0);
    EXPECT_EQ(main->WindowState, 0);
    EXPECT_TRUE(main->Visible);
}

TEST_F(TrayPasswordTest, RestoringAsksForThePassword) {
    struct Row {
        std::optional<QString> answer;
        bool restored;
        int messages;
    };
    const Row rows[] = {
        {QStringLiteral("s3cret"), true, 0},
        {QStringLiteral("S3cret"), false, 1}, // case counts
        {QStringLiteral("wrong"), false, 1},
        {std::nullopt, false, 0}, // Cancel: no message
        {QString(), false, 0},    // nothing typed
    };
    for (const Row& row : rows) {
        for (const bool available : {true, false}) {
            tray.available = available;
            host.messages.clear();
            start();
            globals().Password = QStringLiteral("s3cret");
            // Maximizing before any minimizing asks nothing.
            main->changeWindowState(2);
            main->changeWindowState(0);
            answerPassword(row.answer);
            main->changeWindowState(1);
            main->mnuOpen->click();
            EXPECT_EQ(passwordQuestions, 1);
            passwordQuestions = 0;
            EXPECT_EQ(main->WindowState, row.restored ? 0 : 1);
            EXPECT_EQ(main->RestoreLocked, !row.restored);
            // A refused program is back in the tray, or minimized where there is none.
            EXPECT_EQ(main->Visible, row.restored || !available);
            ASSERT_EQ(static_cast<int>(host.messages.size()), row.messages);
            if (row.messages) {
                EXPECT_EQ(host.messages[0].text, QStringLiteral("Invalid password"));
            }
        }
    }
}

TEST_F(TrayPasswordTest, ExitFromTheTrayAsksForThePassword) {
    struct Row {
        QString password;
        std::optional<QString> answer;
        bool ends;
        int questions;
        int messages;
    };
    const Row rows[] = {
        {QString(), std::nullopt, true, 0, 0},
        {QStringLiteral("pw"), QStringLiteral("pw"), true, 1, 0},
        {QStringLiteral("pw"), QStringLiteral("nope"), false, 1, 1},
        {QStringLiteral("pw"), std::nullopt, false, 1, 0},
    };
    for (const Row& row : rows) {
        host.messages.clear();
        start();
        globals().Password = row.password;
        answerPassword(row.answer);
        QSignalSpy ended(main.get(), &frmMain::ended);
        main->mnuExit->click();
        EXPECT_EQ(ended.count(), row.ends ? 1 : 0);
        EXPECT_EQ(passwordQuestions, row.questions);
        EXPECT_EQ(static_cast<int>(host.messages.size()), row.messages);
        passwordQuestions = 0;
    }
}

TEST_F(TrayPasswordTest, SettingThePassword) {
    struct Row {
        QString first;
        QString second;
        bool click_ok;
        QString stored;
        bool mismatch;
    };
    const Row rows[] = {
        {QStringLiteral("abc"), QStringLiteral("abc"), true, QStringLiteral("abc"), false},
        {QStringLiteral("abc"), QStringLiteral("ABC"), true, QStringLiteral("old"), true},
        {QStringLiteral("abc "), QStringLiteral("abc"), true, QStringLiteral("old"), true},
        {QString(), QString(), true, QString(), false}, // removes the protection
        {QStringLiteral("abc"), QStringLiteral("abc"), false, QStringLiteral("old"), false},
    };
    start();
    for (const Row& row : rows) {
        globals().Password = QStringLiteral("old");
        host.messages.clear();
        bool stayedOpen = false;
        host.onModal = [&](Form& dialog) {
            auto* set = qobject_cast<Form1*>(&dialog);
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(set->caption(), QStringLiteral("Lumivex Password"));
            EXPECT_EQ(set->Text1->text(), QStringLiteral("old"));
            EXPECT_EQ(set->Text2->text(), QStringLiteral("old"));
            set->Text1->setText(row.first);
            set->Text2->setText(row.second);
            (row.click_ok ? set->Command1 : set->Command2)->click();
            stayedOpen = !set->isUnloaded();
        };
        main->mPassword->click();
        EXPECT_EQ(globals().Password, row.stored) << qPrintable(row.first);
        EXPECT_EQ(stayedOpen, row.mismatch) << qPrintable(row.first);
        ASSERT_EQ(host.messages.size(), row.mismatch ? 1u : 0u) << qPrintable(row.first);
        if (row.mismatch) {
            EXPECT_TRUE(
                host.messages[0].text.startsWith(QStringLiteral("Your confirming password")));
        }
    }
}

} // namespace
