#include "session/frmDocument.h"

#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <gtest/gtest.h>

namespace {

class DocumentTest : public ::testing::Test {
protected:
    IsolatedHome home;
    ScriptedHost host;
    frmDocument doc{host};
};

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

TEST_F(DocumentTest, ConnectedClientsListInServerModeOnly) {
    doc.Frame2_DblClick(); // client mode: nothing
    EXPECT_TRUE(host.messages.empty());
    doc.TCPOption[1]->setValue(true);
    doc.Frame2->dblClick();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].title, QStringLiteral("Connected Clients:"));
    EXPECT_TRUE(host.messages[0].text.isEmpty());
}

} // namespace
