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
            if (close == Close::Ok)
                typed->control(QStringLiteral("cmdOK")) ? click(*typed, "cmdOK") : click(*typed, "btnOK");
            else if (close == Close::Cancel)
                typed->control(QStringLiteral("cmdCancel")) ? click(*typed, "cmdCancel")
                                                            : click(*typed, "btnCancel");
        };
    }
    static void click(Form& dialog, const char* name) {
        qobject_cast<Button*>(dialog.control(QString::fromLatin1(name)))->click();
    }

    IsolatedHome home;
    ScriptedHost host;
    std::unique_ptr<frmDocument> doc = std::make_unique<frmDocument>(host);
    QStringList shown;
};

TEST_F(SessionDialogsTest, TheServerButtonChoosesTheServerDialog) {
    answer<Form>([](Form&) {}, Close::Frame);
    showIoOptions(*doc, host);
    doc->TCPOption[1]->click();
    doc->TCPOption_Click(1);
    showIoOptions(*doc, host);
    // The runtime option of the last activation does not count, only the button.
    doc->TCPOptionValue = 0;
    showIoOptions(*doc, host);
    EXPECT_EQ(shown, QStringList({"frmClientOptions", "frmServerOptions", "frmServerOptions"}));
}

TEST_F(SessionDialogsTest, ServerOptions) {
    doc->TCPOption[1]->click();
    struct Row {
        int serial;
        int tcp;
        int multi;
        Close close;
        IoOptions expected;
    };
    IoOptions start = doc->options;
    start.AllowMultiConnect = 1;
    start.ServerSerialOptions = 0;
    start.ServerTCPOptions = 2;
    auto with = [&](int multi, int serial, int tcp) {
        IoOptions o = start;
        o.AllowMultiConnect = multi;
        o.ServerSerialOptions = serial;
        o.ServerTCPOptions = tcp;
        return o;
    };
    const Row rows[] = {
        {1, 0, 0, Close::Ok, with(0, 1, 0)}, // "Ignore inbound serial data"
        {2, 1, 1, Close::Ok, with(1, 2, 1)}, // "... to first connected client only"
        {1, 1, 0, Close::Cancel, start},
        {2, 0, 0, Close::Frame, start},
    };
    for (const Row& row : rows) {
        doc->options = start;
        answer<frmServerOptions>(
            [&](frmServerOptions& d) {
                EXPECT_EQ(d.caption(), QStringLiteral("Server I/O Options"));
                EXPECT_EQ(d.chkMultiClients->value(), 1);
                EXPECT_TRUE(d.OptionSerial[0]->value());
                EXPECT_TRUE(d.OptionTCP[2]->value());
                d.OptionSerial[row.serial]->click();
                d.OptionTCP[row.tcp]->click();
                d.chkMultiClients->setValue(row.multi);
            },
            row.close);
        showIoOptions(*doc, host);
        EXPECT_EQ(doc->options, row.expected) << static_cast<int>(row.close);
    }
}

TEST_F(SessionDialogsTest, ClientOptions) {
    struct Row {
        int option;
        int connectOnOpen;
        Close close;
        int expectedOption;
        int expectedConnect;
    };
    const Row rows[] = {
        {2, 0, Close::Ok, 2, 0}, // unchecking stores 0
        {1, 1, Close::Ok, 1, 1},
        {2, 0, Close::Cancel, 0, 1},
        {2, 0, Close::Frame, 0, 1},
    };
    for (const Row& row : rows) {
        doc->options.ClientOptions = 0;
        doc->options.ConnectOnVirtualOpen = 1;
        answer<frmClientOptions>(
            [&](frmClientOptions& d) {
                EXPECT_EQ(d.Option1[1]->caption(), QStringLiteral("Disable output to serial port."));
                EXPECT_TRUE(d.Option1[0]->value());
                EXPECT_EQ(d.chkConnectOnVirtualPort->value(), 1);
                d.Option1[row.option]->click();
                d.chkConnectOnVirtualPort->setValue(row.connectOnOpen);
            },
            row.close);
        showIoOptions(*doc, host);
        EXPECT_EQ(doc->options.ClientOptions, row.expectedOption);
        EXPECT_EQ(doc->options.ConnectOnVirtualOpen, row.expectedConnect);
    }
}

TEST_F(SessionDialogsTest, LoginOptions) {
    // A new session shows four empty boxes; OK with them empty stores empty strings.
    answer<frmLogin>(
        [](frmLogin& d) {
            EXPECT_EQ(d.caption(), QStringLiteral("Client Login Options"));
            for (TextBox* box : {d.txtUserPrompt, d.txtUserPromptResponse, d.txtPasswordPrompt,
                                 d.txtPasswordPromptResponse})
                EXPECT_TRUE(box->text().isEmpty());
        },
        Close::Ok);
    showLoginOptions(*doc, host);
    EXPECT_TRUE(doc->options.UserPrompt.isEmpty());

    const auto typeIn = [](frmLogin& d) {
        d.txtUserPrompt->setText(QStringLiteral("login:"));
        d.txtUserPromptResponse->setText(QStringLiteral("operator"));
        d.txtPasswordPrompt->setText(QStringLiteral("Password:"));
        d.txtPasswordPromptResponse->setText(QStringLiteral("hunter2"));
    };
    // The last dialog left the login result at 0 (OK): a frame close must still change nothing.
    for (const Close close : {Close::Frame, Close::Cancel}) {
        answer<frmLogin>(typeIn, close);
        showLoginOptions(*doc, host);
        EXPECT_TRUE(doc->options.UserPrompt.isEmpty());
    }
    answer<frmLogin>(typeIn, Close::Ok);
    showLoginOptions(*doc, host);
    EXPECT_EQ(doc->options.UserPrompt, QStringLiteral("login:"));
    EXPECT_EQ(doc->options.PasswordPromptResponse, QStringLiteral("hunter2"));
    // The login strings stay available while the session is active; the next dialog shows them.
    answer<frmLogin>([](frmLogin& d) { EXPECT_EQ(d.txtUserPromptResponse->text(), "operator"); },
                     Close::Frame);
    showLoginOptions(*doc, host);
}

TEST_F(SessionDialogsTest, ASessionClosedWhileItsDialogIsOpenIsLeftAlone) {
    answer<frmLogin>([this](frmLogin& d) {
        d.txtUserPrompt->setText(QStringLiteral("x"));
        doc.reset();
    }, Close::Ok);
    frmDocument* session = doc.get();
    showLoginOptions(*session, host); // must not touch the freed session
    EXPECT_EQ(doc, nullptr);
}

} // namespace
