#include "session/frmDocument.h"

#include "platform/Socket.h"
#include "platform/SocketArray.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class DocumentTest : public ::testing::Test {
protected:
    IsolatedHome home;
    ScriptedHost host;
    frmDocument doc{host};
};

// The lists a set file's indexes point into: their lengths and odd entries.
TEST_F(DocumentTest, ANewWindowsListsHoldWhatSetFilesIndex) {
    EXPECT_EQ(doc.Combo2->listCount(), 1025);
    EXPECT_EQ(doc.Combo2->list(1024), QStringLiteral("COM1024"));
    EXPECT_EQ(doc.Combo1[0]->list(15), QStringLiteral("921600"));
    EXPECT_EQ(doc.Combo1[5]->listCount(), 16);
    EXPECT_EQ(doc.Combo1[5]->list(1), QStringLiteral("4096")); // no 2048
    EXPECT_EQ(doc.Combo1[5]->list(15), QStringLiteral("67108864"));
}

TEST_F(DocumentTest, LocalAddressComesFromTheSocketAndEnablesTheServer) {
    // This machine has at least its loopback address.
    EXPECT_FALSE(doc.LocalIPAddress.isEmpty());
    EXPECT_EQ(doc.LocalIP->text(), doc.LocalIPAddress);
    EXPECT_TRUE(doc.LocalIP->items().contains(doc.LocalIPAddress));
    EXPECT_TRUE(doc.TCPOption[1]->enabled());
}

TEST_F(DocumentTest, ClientServerSwitchShowsTheRightAddressBox) {
    doc.TCPOption[1]->setValue(true);
    EXPECT_FALSE(doc.IPAddress->visible());
    EXPECT_TRUE(doc.LocalIP->visible());
    EXPECT_EQ(doc.Label2->caption(), QStringLiteral("Local IP Address"));
    EXPECT_EQ(doc.Label3->caption(), QStringLiteral("Local Port"));
    // The runtime mode is taken at activation, not here.
    EXPECT_EQ(doc.TCPOptionValue, 0);
    doc.TCPOption[0]->click();
    EXPECT_TRUE(doc.IPAddress->visible());
    EXPECT_FALSE(doc.LocalIP->visible());
    EXPECT_EQ(doc.Label2->caption(), QStringLiteral("Remote Host IP Address"));
}

TEST_F(DocumentTest, PortNumberAboveTheRangeWarnsButIsKept) {
    doc.PortNumber->setText(QStringLiteral("65535"));
    doc.PortNumber->setText(QStringLiteral("-5"));
    doc.PortNumber->setText(QStringLiteral("12abc"));
    EXPECT_TRUE(host.messages.empty());
    doc.PortNumber->setText(QStringLiteral("65536"));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("Error"));
    EXPECT_TRUE(host.messages[0].text.contains(QStringLiteral("65535")));
    EXPECT_EQ(doc.PortNumber->text(), QStringLiteral("65536"));
}

TEST_F(DocumentTest, SetWindowNameKeepsTheOldNameOnEmptyOrCancel) {
    const QString before = doc.caption();
    host.inputAnswers = {QString(), std::nullopt, QStringLiteral("Scale 3")};
    doc.Command3->click();
    doc.Command3->click();
    EXPECT_EQ(doc.caption(), before);
    EXPECT_TRUE(doc.Command3->tag().isEmpty());
    doc.Command3->click();
    EXPECT_EQ(doc.caption(), QStringLiteral("Scale 3"));
    EXPECT_EQ(doc.Command3->tag(), QStringLiteral("Scale 3"));
    EXPECT_EQ(host.inputPrompts.size(), 3);
}

TEST_F(DocumentTest, OptionsTravelThroughTheExchangeBlock) {
    optionExchange().AllowMultiConnect = 0;
    optionExchange().ServerTCPOptions = 2;
    optionExchange().UserPrompt = QStringLiteral("login:");
    doc.UpdateStatus();
    EXPECT_EQ(doc.options.AllowMultiConnect, 0);
    EXPECT_EQ(doc.options.ServerTCPOptions, 2);
    EXPECT_EQ(doc.options.UserPrompt, QStringLiteral("login:"));
    optionExchange() = OptionExchangeBlock{};
    doc.Getstatus();
    EXPECT_EQ(optionExchange().ServerTCPOptions, 2);
    EXPECT_EQ(optionExchange().UserPrompt, QStringLiteral("login:"));
}

TEST_F(DocumentTest, ConnectedClientsListInServerModeOnly) {
    doc.Frame2_DblClick(); // client mode: nothing
    EXPECT_TRUE(host.messages.empty());
    doc.TCPOption[1]->setValue(true);
    doc.Frame2->dblClick();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("Connected Clients:"));
    EXPECT_TRUE(host.messages[0].text.isEmpty());
}

TEST_F(DocumentTest, StatusChangesAreReportedOnce) {
    QSignalSpy spy(&doc, &frmDocument::statusChanged);
    doc.setStatus(1, QStringLiteral("TCP/IP Status: Listening..."));
    doc.setStatus(1, QStringLiteral("TCP/IP Status: Listening..."));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
}

} // namespace
