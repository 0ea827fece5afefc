// The tray icon, and the password checks on restoring and on exiting from the tray.

#include "app/Form1.h"
#include "app/Form2.h"
#include "tests/app/MainFixture.h"

#include <QSignalSpy>
#include <optional>
#include <string_view>

namespace {

class TrayPasswordTest : public MainFixture {
protected:
    TrayPasswordTest() { tray.available = true; }

    std::unique_ptr<frmMain> main;
};

// Most Linux trays report a click and no double click: a click restores as well. The menu is
// the icon's own (the view's test).
TEST_F(TrayPasswordTest, AWindowStoredMinimizedStartsInTheTrayAndAClickBringsItBack) {
    ASSERT_TRUE(writeWholeFile(defaultFile(), "[Lumivex]\nWindowState=1\n"));
    main = started();
    EXPECT_TRUE(main->isShown() && !main->Visible && main->RestoreLocked);
    main->Picture1_MouseMove(517 * 15); // right button up, in twips
    EXPECT_FALSE(main->Visible);
    main->Picture1_MouseMove(514 * 15); // left button up
    EXPECT_TRUE(main->Visible && main->WindowState == 0);
}

TEST_F(TrayPasswordTest, RestoringAndExitingAskForThePasswordWhenThereIsOne) {
    // The password, the answer (none: Cancel), whether it is let through, messages shown.
    const std::tuple<const char*, std::optional<QString>, bool, int> rows[] = {
        {"", QStringLiteral("x"), true, 0}, // never asks
        {"s3cret", QStringLiteral("s3cret"), true, 0},
        {"s3cret", QStringLiteral("S3cret"), false, 1}, // case counts
        {"s3cret", std::nullopt, false, 0},             // Cancel: no message
    };
    for (const auto& [password, answer, allowed, messages] : rows) {
        for (const char* how : {"restore", "restore without a tray", "exit"}) {
            SCOPED_TRACE(answer.value_or("(cancel)").toStdString() + " " + how);
            const bool exiting = how == std::string_view("exit");
            tray.available = how != std::string_view("restore without a tray");
            host.messages.clear();
            main = started();
            globals().Password = QString::fromUtf8(password);
            int questions = 0;
            host.onModal = [&](Form& dialog) {
                ++questions;
                auto* entry = qobject_cast<Form2*>(&dialog);
                ASSERT_NE(entry, nullptr);
                if (answer)
                    entry->Text1->setText(*answer);
                (answer ? entry->Command1 : entry->Command2)->click();
            };
            QSignalSpy ended(main.get(), &frmMain::ended);
            if (!exiting)
                main->changeWindowState(1);
            (exiting ? main->mnuExit : main->mnuOpen)->click();
            const bool asked = *password != 0;
            EXPECT_EQ(std::tuple(questions, int(host.messages.size()), ended.count()),
                      std::tuple(asked ? 1 : 0, messages, exiting && allowed ? 1 : 0));
            if (exiting)
                continue;
            // A refused program is back in the tray, or minimized where there is none.
            EXPECT_EQ(std::tuple(main->WindowState, main->RestoreLocked, main->Visible),
                      std::tuple(allowed ? 0 : 1, !allowed || !asked, allowed || !tray.available));
        }
    }
}

TEST_F(TrayPasswordTest, SettingThePassword) {
    // Typed twice, OK or Cancel, the password then, whether the dialog stays with a message.
    const std::tuple<const char*, const char*, bool, const char*, bool> rows[] = {
        {"abc", "abc", true, "abc", false},  {"abc ", "abc", true, "old", true},
        {" abc", " abc", true, "old", true}, // the set file would lose the blank
        {"a b", "a b", true, "a b", false},  {"", "", true, "", false}, // removes the protection
        {"abc", "abc", false, "old", false},
    };
    main = started();
    for (const auto& [first, second, clickOk, stored, refused] : rows) {
        SCOPED_TRACE(first);
        globals().Password = QStringLiteral("old");
        host.messages.clear();
        bool stayedOpen = false;
        host.onModal = [&](Form& dialog) {
            auto* set = qobject_cast<Form1*>(&dialog);
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(set->Text2->text(), QStringLiteral("old"));
            set->Text1->setText(QString::fromUtf8(first));
            set->Text2->setText(QString::fromUtf8(second));
            (clickOk ? set->Command1 : set->Command2)->click();
            stayedOpen = !set->isUnloaded();
        };
        main->mPassword->click();
        EXPECT_EQ(std::tuple(globals().Password, stayedOpen, host.messages.size()),
                  std::tuple(QString::fromUtf8(stored), refused, refused ? 1u : 0u));
    }
}

} // namespace
