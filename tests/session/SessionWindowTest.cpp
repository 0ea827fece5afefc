// The session window's own controls, option dialogs and commands.
#include "session/SessionCommand.h"
#include "session/dialogs/SessionDialogs.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"
#include "tests/session/SessionFixture.h"

namespace {

class SessionWindowTest : public SessionFixture {
protected:
    enum Close { Ok, Cancel, Frame };
    // Acts on the next dialog, of type D, then closes it as close says.
    template <class D> void answer(std::function<void(D&)> act, Close close) {
        host.onModal = [act, close](Form& dialog) {
            auto* typed = qobject_cast<D*>(&dialog);
            ASSERT_NE(typed, nullptr) << qPrintable(dialog.name());
            act(*typed);
            const QString name = close == Ok ? "OK" : "Cancel";
            Control* button = dialog.control("cmd" + name);
            if (close != Frame)
                qobject_cast<Button*>(button ? button : dialog.control("btn" + name))->click();
        };
    }
};

// The name stays the caption also once the session is active on a port.
TEST_F(SessionWindowTest, SetWindowNameKeepsTheOldNameOnEmptyOrCancel) {
    const QString before = doc->caption();
    host.inputAnswers = {QString(), std::nullopt, QStringLiteral("Scale 3")};
    QStringList names;
    for (int i = 0; i < 3; ++i) {
        doc->Command3->click();
        names << doc->caption() << doc->Command3->tag();
    }
    virtualServer(7);
    ASSERT_TRUE(doc->isActive());
    EXPECT_EQ(names << doc->caption(),
              QStringList({before, "", before, "", "Scale 3", "Scale 3", "Scale 3"}));
}

// Only OK stores; Cancel and a close by the frame leave the options as they were, also right
// after an OK has left its answer in the exchange block.
TEST_F(SessionWindowTest, OnlyOkStoresTheOptions) {
    IoOptions start = doc->ioOptions(); // multiple clients, connect on virtual open
    start.ServerTCPOptions = 2;
    IoOptions changed;
    changed.ServerSerialOptions = 1;
    changed.ClientOptions = 2;
    changed.ComPortControl = 1;
    changed.UserPrompt = QStringLiteral("login:");
    changed.PasswordPromptResponse = QStringLiteral("hunter2");
    for (const Close close : {Cancel, Ok, Frame}) {
        SCOPED_TRACE(close);
        doc->setIoOptions(start);
        doc->TCPOption[1]->click();
        answer<frmServerOptions>(
            [](frmServerOptions& d) {
                EXPECT_TRUE(d.OptionTCP[2]->value());
                d.OptionSerial[1]->click();
                d.OptionTCP[0]->click();
                d.chkMultiClients->setValue(0);
            },
            close);
        showIoOptions(*doc, host);
        doc->TCPOption[0]->click();
        answer<frmClientOptions>(
            [](frmClientOptions& d) {
                EXPECT_EQ(d.chkConnectOnVirtualPort->value(), 1);
                d.Option1[2]->click();
                d.chkConnectOnVirtualPort->setValue(0);
                d.chkComPortControl->setValue(1);
            },
            close);
        showIoOptions(*doc, host);
        answer<frmLogin>(
            [](frmLogin& d) {
                d.txtUserPrompt->setText(QStringLiteral("login:"));
                d.txtPasswordPromptResponse->setText(QStringLiteral("hunter2"));
            },
            close);
        showLoginOptions(*doc, host);
        EXPECT_EQ(doc->ioOptions(), close == Ok ? changed : start);
    }
}

TEST_F(SessionWindowTest, ASessionClosedWhileItsDialogIsOpenIsLeftAlone) {
    answer<frmLogin>([this](frmLogin&) { doc.reset(); }, Ok);
    showLoginOptions(*doc, host); // must not touch the freed session
    EXPECT_EQ(doc, nullptr);
}

using Kind = SessionCommand::Kind;

// The command, then the kind and the baud, parity, data and stop bits list entries it selects
// (-1: the list stays as it is).
// clang-format off
const std::tuple<const char*, Kind, int, int, int, int> kGrammar[] = {
    {"[Deactivate]",                        Kind::Deactivate,  -1, -1, -1, -1},
    {"\t[ACTIVATE]",                        Kind::Unknown,     -1, -1, -1, -1}, // only spaces trimmed
    {"[COMSETTINGS=19200,E,7,1]",           Kind::ComSettings,  8,  1,  2,  0},
    {"[COMSETTINGS=110,MARK,6, 1.5 ]",      Kind::ComSettings,  0,  3,  1,  1}, // stop bits trimmed
    {"[COMSETTINGS=9600,N,8]",              Kind::ComSettings,  6,  0, -1, -1}, // data bits need a comma after
    {"[COMSETTINGS=9600]",                  Kind::ComSettings, -1, -1, -1, -1},
    {"[COMSETTINGS= 4800abc,X,9,3]",        Kind::ComSettings,  5, -1, -1, -1}, // leading number only
    {"[COMSETTINGS=2399.6,E,8,1]",          Kind::ComSettings,  4,  1,  3,  0}, // rounded
    {"[COMSETTINGS=]9600],]E,8]],1]",       Kind::ComSettings,  6,  1,  3,  0}, // every ] removed
    {"[COMSETTINGS=9600,N,8,1,EXTRA]",      Kind::ComSettings,  6,  0,  3, -1}, // "1,EXTRA" no stop bits
    {"[COMSETTINGS =9600,N,8,1]",           Kind::Unknown,     -1, -1, -1, -1},
};
// clang-format on

TEST(SessionCommandGrammar, EveryRowParsesAsListed) {
    for (const auto& [command, kind, baud, parity, dataBits, stopBits] : kGrammar) {
        const auto p = SessionCommand::parse(QString::fromUtf8(command));
        EXPECT_EQ(std::tuple(p.kind, p.baud, p.parity, p.dataBits, p.stopBits),
                  std::tuple(kind, baud, parity, dataBits, stopBits))
            << command;
    }
}

} // namespace
