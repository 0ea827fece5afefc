#include "tests/session/SessionFixture.h"

#include <QNetworkInterface>
#include <QUdpSocket>

namespace {

class ActivationTest : public SessionFixture {};

// Each early stop (empty address; port out of range, where a server has no address to check;
// no connector; missing device; a user's own mapping where the virtual port would go) leaves
// the session inactive with nothing open.
TEST_F(ActivationTest, ValidationStopsLeaveNothingOpen) {
    const std::tuple<bool, const char*, const char*, int, const char*> stops[] = {
        {false, "", "1000", 3, "TCP/IP Status: Error - Invalid IP Address"},
        {true, "", "65536", 3, "TCP/IP Status: Error - Invalid Port Number"},
        {true, "", "-1", 3, "TCP/IP Status: Error - Invalid Port Number"},
        {false, "127.0.0.1", "1000", 0, "TCP/IP Status:"},
        {true, "", "0", 9, "TCP/IP Status:"},
    };
    QFile::link(QStringLiteral("/nonexistent/ttyUSB9"), comLinkPath(9));
    for (const auto& [asServer, address, port, connector, networkStatus] : stops) {
        SCOPED_TRACE(connector);
        renew();
        doc->TCPOption[asServer ? 1 : 0]->setValue(true);
        doc->IPAddress->setText(QString::fromLatin1(address));
        doc->PortNumber->setText(QString::fromLatin1(port));
        serialPort(connector);
        activate();
        EXPECT_EQ(std::tuple(doc->isActive(), doc->MSComm1().portOpen(), socket(0).State(),
                             doc->Combo2->enabled(), status(1)),
                  std::tuple(false, false, 0, true, QString::fromLatin1(networkStatus)));
        EXPECT_TRUE(status(0).startsWith(connector == 9 ? "COM Status: Error - COM9: no such"
                                                        : "COM Status:"))
            << status(0).toStdString();
    }
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), comLinkPath(7)));
    renew();
    virtualServer(7);
    EXPECT_EQ(std::tuple(doc->isActive(), status(0), QFileInfo(comLinkPath(7)).symLinkTarget()),
              std::tuple(false, QStringLiteral("Cannot create virtual COM7"),
                         QStringLiteral("/dev/null")));
}

// A failure of connect, bind or listen rolls the serial side back; a UDP client's bind
// failure is none. A client that connects when the port opens fails then, and stays armed.
TEST_F(ActivationTest, NetworkFailureRollsTheSerialSideBack) {
    virtualClient(8, 0); // remote port 0 fails at once
    EXPECT_FALSE(doc->isActive());
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
    EXPECT_TRUE(!QFileInfo(comLinkPath(8)).isSymLink() && socket(0).RemoteHost().isEmpty());

    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    dev = device(2);
    renew();
    serialPort(2);
    server(QString::number(taken.serverPort()));
    activate();
    EXPECT_FALSE(doc->isActive() || doc->MSComm1().portOpen());

    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0));
    renew();
    doc->chkUDP->setValue(1);
    virtualClient(11, holder.localPort());
    EXPECT_TRUE(doc->isActive());

    renew();
    virtualPort(25);
    client(0);
    activate();
    UniqueFd app = openApplication(25);
    ASSERT_TRUE(waitUntil([&] { return isReconnecting(); }));
    doc->Timer1_Timer();
    EXPECT_TRUE(isReconnecting() && status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")))
        << status(1).toStdString();
}

// A session stored active comes up by itself: at start a missing device or a local address
// that is not up yet makes it wait, saying why, until both are there; De-Activate stops it.
TEST_F(ActivationTest, AutoActivateWaitsForTheDeviceAndTheLocalAddress) {
    serialPort(9);
    for (const auto& [list, index] : {std::pair(0, 3), {1, 3}, {2, 2}, {3, 2}, {4, 3}})
        doc->Combo1[list]->setListIndex(index); // 1200 baud, Mark, 7, 2, Opto-RS
    server(QStringLiteral("abc"));              // no number counts as 0: any free port
    doc->AutoActivate();
    EXPECT_TRUE(doc->isActive() && doc->bridge()->isWaiting());
    EXPECT_TRUE(status(0).startsWith(QStringLiteral("COM Status: Error - COM9")) &&
                status(0).endsWith(QStringLiteral(" - trying again every 5 s")))
        << status(0).toStdString();
    doc->bridge()->retryTick();
    EXPECT_TRUE(doc->bridge()->isWaiting());
    dev = device(9);
    doc->bridge()->retryTick();
    const SerialPort& port = doc->MSComm1();
    EXPECT_EQ(std::tuple(doc->bridge()->isWaiting(), status(0), status(1), port.settings(),
                         port.handshaking(), port.lineSwitch(), doc->caption()),
              std::tuple(false, QStringLiteral("COM Status: Open"),
                         QStringLiteral("TCP/IP Status: Listening..."),
                         QStringLiteral("1200,M,7,2"), 2, false,
                         QStringLiteral("COM9 - RS232 to TCP/IP")));
    auto peer = connectedPeer(listeningPort());
    peer->write("through");
    EXPECT_EQ(toDevice(7), QByteArray("through"));

    renew();
    dev = device(10);
    serialPort(10);
    server();
    // A documentation address that no interface of this machine has.
    const QList<QHostAddress> local = QNetworkInterface::allAddresses();
    for (const char* candidate : {"203.0.113.77", "198.51.100.77", "192.0.2.77"}) {
        if (!local.contains(QHostAddress(QString::fromLatin1(candidate))))
            doc->LocalIP->setText(QString::fromLatin1(candidate));
    }
    doc->AutoActivate();
    EXPECT_TRUE(doc->isActive() && doc->bridge()->isWaiting() && doc->MSComm1().portOpen());
    EXPECT_TRUE(status(1).startsWith(QStringLiteral("TCP/IP Status: Error - ")) &&
                status(1).endsWith(QStringLiteral(" - trying again every 5 s")))
        << status(1).toStdString();
    activate();
    EXPECT_EQ(std::tuple(doc->isActive(), doc->MSComm1().portOpen(), doc->Combo1[5]->enabled(),
                         status(0), status(1)),
              std::tuple(false, false, true, QStringLiteral("COM Status: Closed"),
                         QStringLiteral("TCP/IP Status: Closed")));
}

} // namespace
