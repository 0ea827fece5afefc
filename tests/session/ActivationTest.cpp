#include "tests/session/SessionFixture.h"

#include <QUdpSocket>

namespace {

class ActivationTest : public SessionFixture {};

struct Stop {
    const char* name;
    bool asServer;
    const char* address;
    const char* port;
    int connector;
    const char* serialStatus;
    const char* networkStatus;
};

// Each check that ends an activation early leaves the session inactive with nothing open.
TEST_F(ActivationTest, ValidationStopsLeaveNothingOpen) {
    const Stop stops[] = {
        {"empty address", false, "", "1000", 3,
         "COM Status:", "TCP/IP Status: Error - Invalid IP Address"},
        {"port too large", false, "127.0.0.1", "65536", 3,
         "COM Status:", "TCP/IP Status: Error - Invalid Port Number"},
        {"negative port", true, "", "-1", 3,
         "COM Status:", "TCP/IP Status: Error - Invalid Port Number"},
        {"no connector", false, "127.0.0.1", "1000", 0, "COM Status:", "TCP/IP Status:"},
        {"missing device", true, "", "0", 9, nullptr, "TCP/IP Status:"},
    };
    QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), comLinkPath(9));
    for (const Stop& stop : stops) {
        doc = std::make_unique<frmDocument>(host);
        doc->TCPOption[stop.asServer ? 1 : 0]->setValue(true);
        doc->IPAddress->setText(QString::fromLatin1(stop.address));
        doc->PortNumber->setText(QString::fromLatin1(stop.port));
        doc->Combo2->setListIndex(stop.connector);
        activate();
        EXPECT_FALSE(doc->isActive()) << stop.name;
        EXPECT_EQ(status(1), QString::fromLatin1(stop.networkStatus)) << stop.name;
        if (stop.serialStatus) {
            EXPECT_EQ(status(0), QString::fromLatin1(stop.serialStatus)) << stop.name;
        } else {
            EXPECT_TRUE(status(0).startsWith(QStringLiteral("COM Status: Error - COM9: no such")))
                << status(0).toStdString();
        }
        EXPECT_FALSE(doc->MSComm1().portOpen()) << stop.name;
        EXPECT_EQ(socket(0).State(), 0) << stop.name;
        EXPECT_TRUE(doc->Combo2->enabled()) << stop.name;
        if (stop.connector == 0) {
            EXPECT_EQ(doc->caption(), QStringLiteral("New - RS232 to TCP/IP"));
        }
    }
}

TEST_F(ActivationTest, RealPortOpensWithTheChosenLineSettingsAndDeactivates) {
    TestPty pty = device(4);
    serialPort(4);
    doc->Combo1[0]->setListIndex(3); // 1200
    doc->Combo1[1]->setListIndex(3); // Mark
    doc->Combo1[2]->setListIndex(2); // 7
    doc->Combo1[3]->setListIndex(2); // 2
    doc->Combo1[4]->setListIndex(3); // Opto-RS
    server(QStringLiteral("abc"));   // no number counts as 0: any free port
    activate();
    ASSERT_TRUE(doc->isActive()) << status(0).toStdString() << status(1).toStdString();
    EXPECT_EQ(doc->MSComm1().settings(), QStringLiteral("1200,M,7,2"));
    EXPECT_EQ(doc->MSComm1().handshaking(), 2);
    EXPECT_FALSE(doc->MSComm1().lineSwitch());
    EXPECT_EQ(doc->MSComm1().outBufferSize(), 8192);
    EXPECT_EQ(status(0), QStringLiteral("COM Status: Open"));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));
    EXPECT_GT(listeningPort(), 0);
    EXPECT_EQ(doc->MyBuffer.capacity(), 8192);
    EXPECT_EQ(doc->SerialOutBuffer.capacity(), 8192);
    EXPECT_EQ(doc->caption(), QStringLiteral("COM4 - RS232 to TCP/IP"));
    EXPECT_EQ(doc->Command1->caption(), QStringLiteral("De-Activate"));
    EXPECT_FALSE(doc->Combo1[5]->enabled());
    EXPECT_TRUE(doc->BufferSerData->enabled());
    EXPECT_TRUE(doc->txtTimeoutValue->enabled());

    activate();
    EXPECT_FALSE(doc->isActive());
    EXPECT_FALSE(doc->MSComm1().portOpen());
    EXPECT_EQ(status(0), QStringLiteral("COM Status: Closed"));
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Closed"));
    EXPECT_EQ(socket(0).State(), 0);
    EXPECT_TRUE(doc->Combo1[5]->enabled());
}

TEST_F(ActivationTest, VirtualPortIsCreatedAndDeletedWithTheSession) {
    virtualPort(7);
    doc->Command3->setTag(QStringLiteral("Scale"));
    server();
    activate();
    ASSERT_TRUE(doc->isActive());
    EXPECT_EQ(status(0), QStringLiteral("Virtual Port COM7 created"));
    EXPECT_TRUE(QFileInfo(comLinkPath(7)).isSymLink());
    EXPECT_TRUE(doc->VSPort1().switch16() && doc->VSPort1().switch13());
    EXPECT_NE(doc->caption(), QStringLiteral("COM7 - RS232 to TCP/IP")) << "a description stays";
    activate();
    EXPECT_EQ(status(0), QStringLiteral("Virtual port closed"));
    EXPECT_FALSE(QFileInfo(comLinkPath(7)).isSymLink());
    // A name that is a user's mapping cannot be created.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), comLinkPath(7)));
    activate();
    EXPECT_FALSE(doc->isActive());
    EXPECT_EQ(status(0), QStringLiteral("Cannot create virtual COM7"));
}

// A failure of connect, bind or listen rolls the serial side back.
TEST_F(ActivationTest, NetworkFailureRollsTheSerialSideBack) {
    virtualPort(8);
    doc->options.ConnectOnVirtualOpen = 0;
    client(0); // remote port 0 fails at once
    activate();
    EXPECT_FALSE(doc->isActive());
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
    EXPECT_EQ(status(0), QStringLiteral("Virtual port closed"));
    EXPECT_FALSE(QFileInfo(comLinkPath(8)).isSymLink());
    EXPECT_TRUE(socket(0).RemoteHost().isEmpty());

    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    TestPty pty = device(2);
    doc = std::make_unique<frmDocument>(host);
    serialPort(2);
    server(QString::number(taken.serverPort()));
    activate();
    EXPECT_FALSE(doc->isActive());
    EXPECT_EQ(status(0), QStringLiteral("COM Status: Closed"));
    EXPECT_FALSE(doc->MSComm1().portOpen());
}

TEST_F(ActivationTest, UdpAndDeferredClientsBecomeActiveWithTheirTexts) {
    QUdpSocket holder; // a UDP client's bind failure is ignored
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
    virtualPort(11);
    doc->options.ConnectOnVirtualOpen = 0;
    doc->chkUDP->setValue(1);
    client(holder.localPort());
    activate();
    EXPECT_TRUE(doc->isActive());
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Connecting..."));

    doc = std::make_unique<frmDocument>(host);
    virtualPort(12);
    doc->chkUDP->setValue(1);
    server();
    activate();
    EXPECT_TRUE(doc->isActive());
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status: Listening..."));

    // A client that connects only while an application holds the virtual port.
    PeerServer peer;
    doc = std::make_unique<frmDocument>(host);
    virtualPort(13);
    client(peer.port());
    activate();
    EXPECT_TRUE(doc->isActive());
    EXPECT_EQ(status(1), QStringLiteral("TCP/IP Status:"));
    EXPECT_EQ(socket(0).State(), 0);
    {
        UniqueFd app = openApplication(13);
        QTcpSocket* connection = peer.nextConnection();
        ASSERT_TRUE(connection);
        EXPECT_TRUE(
            waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Connected"); }));
    }
    EXPECT_TRUE(waitUntil([&] { return status(1) == QStringLiteral("TCP/IP Status: Closed"); }));
    EXPECT_EQ(socket(0).State(), 0);
}

} // namespace
