// The session window's own controls, option dialogs and commands, without a connection.
#include "session/SessionCommand.h"
#include "session/dialogs/SessionDialogs.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"
#include "tests/session/SessionFixture.h"

namespace {

class SessionWindowTest : public SessionFixture {};

TEST_F(SessionWindowTest, LocalAddressEnablesTheServerAndAClientListsNoConnections) {
    EXPECT_FALSE(doc->LocalIPAddress.isEmpty()) << "this machine has at least its loopback";
    EXPECT_EQ(doc->LocalIP->text(), doc->LocalIPAddress);
    EXPECT_TRUE(doc->TCPOption[1]->enabled());
    doc->TCPOption[1]->setValue(true);
    EXPECT_EQ(doc->TCPOptionValue, 0) << "the runtime mode is taken at activation";
    doc->TCPOption[0]->click();
    EXPECT_TRUE(doc->IPAddress->visible() && !doc->LocalIP->visible());
    doc->Frame2_DblClick();
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(SessionWindowTest, PortNumberAboveTheRangeWarnsButIsKept) {
    for (const char* text : {"65535", "-5", "12abc", "65536"})
        doc->PortNumber->setText(QString::fromLatin1(text));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_TRUE(host.messages[0].text.contains(QStringLiteral("65535")));
    EXPECT_EQ(doc->PortNumber->text(), QStringLiteral("65536"));
}

TEST_F(SessionWindowTest, SetWindowNameKeepsTheOldNameOnEmptyOrCancel) {
    const QString before = doc->caption();
    host.inputAnswers = {QString(), std::nullopt, QStringLiteral("Scale 3")};
    doc->Command3->click();
    doc->Command3->click();
    EXPECT_EQ(std::pair(doc->caption(), doc->Command3->tag()), std::pair(before, QString()));
    doc->Command3->click();
    EXPECT_EQ(std::pair(doc->caption(), doc->Command3->tag()),
              std::pair(QStringLiteral("Scale 3"), QStringLiteral("Scale 3")));
}

enum class Close { Ok, Cancel, Frame };

class SessionDialogsTest : public SessionFixture {
protected:
    // Acts on the dialog of type D, then closes it as close says.
    template <class D> void answer(std::function<void(D&)> act, Close close) {
        host.onModal = [act, close](Form& dialog) {
            auto* typed = qobject_cast<D*>(&dialog);
            ASSERT_NE(typed, nullptr) << qPrintable(dialog.name());
            act(*typed);
            if (close == Close::Frame)
                return;
            const QString name = close == Close::Ok ? "OK" : "Cancel";
            Control* button = dialog.control("cmd" + name);
            qobject_cast<Button*>(button ? button : dialog.control("btn" + name))->click();
        };
    }
};

// Only OK stores; Cancel and a close by the frame leave the options as they were, also right
// after an OK has left its answer in the exchange block.
TEST_F(SessionDialogsTest, OnlyOkStoresTheOptions) {
    IoOptions start = doc->ioOptions(); // multiple clients, connect on virtual open
    start.ServerTCPOptions = 2;
    IoOptions changed;
    changed.ServerSerialOptions = 1;
    changed.ClientOptions = 2;
    changed.UserPrompt = QStringLiteral("login:");
    changed.PasswordPromptResponse = QStringLiteral("hunter2");
    for (const Close close : {Close::Cancel, Close::Ok, Close::Frame}) {
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
        EXPECT_EQ(doc->ioOptions(), close == Close::Ok ? changed : start)
            << static_cast<int>(close);
    }
}

TEST_F(SessionDialogsTest, ASessionClosedWhileItsDialogIsOpenIsLeftAlone) {
    answer<frmLogin>(
        [this](frmLogin& d) {
            d.txtUserPrompt->setText(QStringLiteral("x"));
            doc.reset();
        },
        Close::Ok);
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

TEST(SessionCommandGrammar, EveryRowParsesAsListedAndAppExitMustBeExact) {
    for (const auto& [command, kind, baud, parity, dataBits, stopBits] : kGrammar) {
        const auto parsed = SessionCommand::parse(QString::fromUtf8(command));
        EXPECT_EQ(
            std::tuple(parsed.kind, parsed.baud, parsed.parity, parsed.dataBits, parsed.stopBits),
            std::tuple(kind, baud, parity, dataBits, stopBits))
            << command;
    }
    for (const char* command : {"[APPEXIT] NOW", "[APPEXIT", "\t[APPEXIT]"})
        EXPECT_FALSE(isAppExitCommand(QString::fromUtf8(command))) << command;
}

// Unknown fields (a rate not listed, an untrimmed parity) leave their lists as they are; the
// port takes the settings the lists then show.
TEST_F(SessionWindowTest, ComSettingsSelectsTheListsAndGivesThePortTheirSettings) {
    EXPECT_TRUE(executeSessionCommand(*doc, QStringLiteral("[COMSETTINGS=56000, E,7,2]")));
    EXPECT_EQ(QStringList({doc->Combo1[0]->text(), doc->Combo1[1]->text(), doc->Combo1[2]->text(),
                           doc->Combo1[3]->text()}),
              QStringList({"9600", "None", "7", "2"}));
    EXPECT_EQ(doc->MSComm1().settings(), QStringLiteral("9600,N,7,2"));
}

} // namespace
