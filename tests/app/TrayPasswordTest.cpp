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
            if (text)
                entry->Text1->setText(*text);
            (text ? entry->Command1 : entry->Command2)->click();
        };
    }

    std::unique_ptr<frmMain> main;
    int passwordQuestions = 0;
};

TEST_F(TrayPasswordTest, AWindowStoredMinimizedStartsInTheTray) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nWindowState=1\n"));
    start();
    EXPECT_TRUE(main->isShown() && !main->Visible && main->RestoreLocked);
}

TEST_F(TrayPasswordTest, TrayMessagesActOnlyWhileMinimized) {
    start();
    main->changeWindowState(1);
    QSignalSpy menu(main.get(), &frmMain::trayMenuRequested);
    main->Picture1_MouseMove(517 * kTwips); // right button up
    EXPECT_EQ(menu.count(), 1);
    EXPECT_EQ(main->WindowState, 1);
    main->Picture1_MouseMove(515 * kTwips); // left double click
    EXPECT_TRUE(main->WindowState == 0 && main->Visible);
    main->Picture1_MouseMove(517 * kTwips);
    EXPECT_EQ(menu.count(), 1);
}

TEST_F(TrayPasswordTest, RestoringAsksForThePasswordWhenThereIsOne) {
    const struct {
        QString password;
        std::optional<QString> answer;
        bool restored;
        int messages;
    } rows[] = {
        {QString(), QStringLiteral("x"), true, 0}, // never asks
        {QStringLiteral("s3cret"), QStringLiteral("s3cret"), true, 0},
        {QStringLiteral("s3cret"), QStringLiteral("S3cret"), false, 1}, // case counts
        {QStringLiteral("s3cret"), std::nullopt, false, 0},             // Cancel: no message
    };
    for (const auto& row : rows) {
        for (const bool available : {true, false}) {
            SCOPED_TRACE(row.answer.value_or("(cancel)").toStdString() +
                         (available ? "" : " no tray"));
            tray.available = available;
            host.messages.clear();
            passwordQuestions = 0;
            start();
            globals().Password = row.password;
            answerPassword(row.answer);
            main->changeWindowState(1);
            main->mnuOpen->click();
            // A refused program is back in the tray, or minimized where there is none.
            EXPECT_EQ(std::tuple(passwordQuestions, main->WindowState, main->RestoreLocked,
                                 main->Visible, int(host.messages.size())),
                      std::tuple(row.password.isEmpty() ? 0 : 1, row.restored ? 0 : 1,
                                 !row.restored || row.password.isEmpty(),
                                 row.restored || !available, row.messages));
        }
    }
}

TEST_F(TrayPasswordTest, ExitFromTheTrayAsksForThePassword) {
    const struct {
        QString password;
        std::optional<QString> answer;
        bool ends;
        int questions;
        int messages;
    } rows[] = {
        {QString(), std::nullopt, true, 0, 0},
        {QStringLiteral("pw"), QStringLiteral("nope"), false, 1, 1},
        {QStringLiteral("pw"), std::nullopt, false, 1, 0},
    };
    for (const auto& row : rows) {
        host.messages.clear();
        start();
        globals().Password = row.password;
        answerPassword(row.answer);
        QSignalSpy ended(main.get(), &frmMain::ended);
        main->mnuExit->click();
        EXPECT_EQ(std::tuple(ended.count(), passwordQuestions, int(host.messages.size())),
                  std::tuple(row.ends ? 1 : 0, row.questions, row.messages));
        passwordQuestions = 0;
    }
}

TEST_F(TrayPasswordTest, SettingThePassword) {
    const struct {
        QString first;
        QString second;
        bool clickOk;
        QString stored;
        bool mismatch;
    } rows[] = {
        {QStringLiteral("abc"), QStringLiteral("abc"), true, QStringLiteral("abc"), false},
        {QStringLiteral("abc "), QStringLiteral("abc"), true, QStringLiteral("old"), true},
        {QString(), QString(), true, QString(), false}, // removes the protection
        {QStringLiteral("abc"), QStringLiteral("abc"), false, QStringLiteral("old"), false},
    };
    start();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first.toStdString());
        globals().Password = QStringLiteral("old");
        host.messages.clear();
        bool stayedOpen = false;
        host.onModal = [&](Form& dialog) {
            auto* set = qobject_cast<Form1*>(&dialog);
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(set->Text2->text(), QStringLiteral("old"));
            set->Text1->setText(row.first);
            set->Text2->setText(row.second);
            (row.clickOk ? set->Command1 : set->Command2)->click();
            stayedOpen = !set->isUnloaded();
        };
        main->mPassword->click();
        EXPECT_EQ(std::tuple(globals().Password, stayedOpen, host.messages.size()),
                  std::tuple(row.stored, row.mismatch, row.mismatch ? 1u : 0u));
    }
}

} // namespace
