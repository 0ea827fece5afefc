// The session option dialogs opened the way a session window opens them: OK, Cancel and
// closing by the window frame, through the option exchange block.

#include "session/dialogs/SessionDialogs.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"
#include "session/frmDocument.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

enum class Close { Ok, Cancel, Frame };

class SessionDialogsTest : public ::testing::Test {
protected:
    // Acts on the dialog of type D, then closes it as close says.
    template <class D> void answer(std::function<void(D&)> act, Close close) {
        host.onModal = [this, act, close](Form& dialog) {
            shown << dialog.name();
            auto* typed = qobject_cast<D*>(&dialog);
            ASSERT_NE(typed, nullptr) << qPrintable(dialog.name());
            act(*typed);
            if (close != Close::Frame)
                click(*typed, close == Close::Ok ? "OK" : "Cancel");
        };
    }
    // Clicks the dialog's cmd<name> or btn<name> button.
    static void click(Form& dialog, const QString& name) {
        Control* button = dialog.control("cmd" + name);
        qobject_cast<Button*>(button ? button : dialog.control("btn" + name))->click();
    }

    IsolatedHome home;
    ScriptedHost host;
    std::unique_ptr<frmDocument> doc = std::make_unique<frmDocument>(host);
    QStringList shown;
};

TEST_F(SessionDialogsTest, TheServerButtonChoosesTheServerDialog) {
    answer<Form>([](Form&) {}, Close::Frame);
    doc->TCPOption[1]->click();
    doc->TCPOption_Click(1);
    doc->TCPOptionValue = 0; // the runtime option of the last activation does not count
    showIoOptions(*doc, host);
    EXPECT_EQ(shown, QStringList({"frmServerOptions"}));
}

// Only OK stores; Cancel and a close by the frame leave the options as they were.
TEST_F(SessionDialogsTest, ServerOptions) {
    doc->TCPOption[1]->click();
    IoOptions start = doc->options;
    start.AllowMultiConnect = 1;
    start.ServerSerialOptions = 0;
    start.ServerTCPOptions = 2;
    IoOptions changed = start;
    changed.AllowMultiConnect = 0;
    changed.ServerSerialOptions = 1; // "Ignore inbound serial data"
    changed.ServerTCPOptions = 0;
    for (const Close close : {Close::Ok, Close::Cancel, Close::Frame}) {
        doc->options = start;
        answer<frmServerOptions>(
            [](frmServerOptions& d) {
                EXPECT_TRUE(d.OptionTCP[2]->value());
                d.OptionSerial[1]->click();
                d.OptionTCP[0]->click();
                d.chkMultiClients->setValue(0);
            },
            close);
        showIoOptions(*doc, host);
        EXPECT_EQ(doc->options, close == Close::Ok ? changed : start) << static_cast<int>(close);
    }
}

TEST_F(SessionDialogsTest, ClientOptions) {
    for (const Close close : {Close::Ok, Close::Frame}) {
        doc->options.ClientOptions = 0;
        doc->options.ConnectOnVirtualOpen = 1;
        answer<frmClientOptions>(
            [](frmClientOptions& d) {
                EXPECT_EQ(d.chkConnectOnVirtualPort->value(), 1);
                d.Option1[2]->click();
                d.chkConnectOnVirtualPort->setValue(0); // unchecking stores 0
            },
            close);
        showIoOptions(*doc, host);
        EXPECT_EQ(std::pair(doc->options.ClientOptions, doc->options.ConnectOnVirtualOpen),
                  close == Close::Ok ? std::pair(2, 0) : std::pair(0, 1));
    }
}

TEST_F(SessionDialogsTest, LoginOptions) {
    answer<frmLogin>([](frmLogin&) {}, Close::Ok);
    showLoginOptions(*doc, host);
    const auto typeIn = [](frmLogin& d) {
        d.txtUserPrompt->setText(QStringLiteral("login:"));
        d.txtUserPromptResponse->setText(QStringLiteral("operator"));
        d.txtPasswordPrompt->setText(QStringLiteral("Password:"));
        d.txtPasswordPromptResponse->setText(QStringLiteral("hunter2"));
    };
    // The last dialog left the login result at 0 (OK): a frame close must still change nothing.
    answer<frmLogin>(typeIn, Close::Frame);
    showLoginOptions(*doc, host);
    EXPECT_TRUE(doc->options.UserPrompt.isEmpty());
    answer<frmLogin>(typeIn, Close::Ok);
    showLoginOptions(*doc, host);
    EXPECT_EQ(doc->options.UserPrompt, QStringLiteral("login:"));
    EXPECT_EQ(doc->options.PasswordPromptResponse, QStringLiteral("hunter2"));
}

TEST_F(SessionDialogsTest, ASessionClosedWhileItsDialogIsOpenIsLeftAlone) {
    answer<frmLogin>(
        [this](frmLogin& d) {
            d.txtUserPrompt->setText(QStringLiteral("x"));
            doc.reset();
        },
        Close::Ok);
    frmDocument* session = doc.get();
    showLoginOptions(*session, host); // must not touch the freed session
    EXPECT_EQ(doc, nullptr);
}

} // namespace
