#pragma once
// A session window over real components in an isolated home (pty devices as COMn, virtual
// ports, loopback peers); tests call the heartbeat and reconnect ticks, never wait for them.

#include "model/GlobalSettings.h"
#include "platform/ComPortNames.h"
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "platform/VirtualPort.h"
#include "session/Bridge.h"
#include "session/SessionHeartbeat.h"
#include "session/frmDocument.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/platform/SocketTestPeers.h"
#include "tests/support/IsolatedHome.h"
#include "tests/support/ScriptedHost.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using Peers = std::vector<std::unique_ptr<QTcpSocket>>;

class SessionFixture : public ::testing::Test {
protected:
    SessionFixture() {
        QDir().mkpath(qEnvironmentVariable("LUMIVEX_PORTS"));
        SessionHeartbeat::instance().hold(true);
        globals().LogErrors = 1; // what went wrong is read back from the log
    }
    ~SessionFixture() override {
        SessionHeartbeat::instance().hold(false);
        globals() = GlobalSettings{};
    }

    QString status(int index) const { return doc->StatusBar1[index]->caption(); }
    Socket& socket(int index) const { return doc->Winsock1().at(index); }
    QByteArray errorLog() const { return readWholeFile(home.path("home/errorlog.txt")); }
    bool isReconnecting() const { return doc->bridge()->network().client().isReconnecting(); }
    bool clientsBecome(int n) const {
        return waitUntil([&] { return doc->ConnectedClients() == n; });
    }
    bool stateBecomes(int index, int state) const {
        return waitUntil([&] { return socket(index).State() == state; });
    }
    void renew() { doc = std::make_unique<frmDocument>(host); } // in place of the last window

    // A test-made pty mapped as COMn; its master end plays the device's far side.
    TestPty device(int n) {
        TestPty pty = TestPty::open();
        QFile::remove(comLinkPath(n));
        QFile::link(pty.slavePath, comLinkPath(n));
        return pty;
    }
    void serialPort(int n) { doc->Combo2->setListIndex(n); }
    void virtualPort(int n) {
        doc->Combo2->setListIndex(n);
        doc->chkVPort->setValue(1);
    }
    void server(const QString& port = QStringLiteral("0")) {
        doc->TCPOption[1]->setValue(true);
        doc->LocalIP->setText(kLoopback);
        doc->PortNumber->setText(port);
    }
    void client(int port) {
        doc->TCPOption[0]->setValue(true);
        doc->IPAddress->setText(kLoopback);
        doc->PortNumber->setText(QString::number(port));
    }
    void activate() { doc->Command1_Click(); }
    // Changes the session's I/O options as the option dialogs do.
    void options(const std::function<void(IoOptions&)>& change) {
        IoOptions options = doc->ioOptions();
        change(options);
        doc->setIoOptions(options);
    }
    // 1024-byte buffers whose network bytes are held while no application has the port.
    void smallHeldBuffers() {
        doc->Combo1[5]->setListIndex(0);
        doc->BufferSerData->setValue(1);
    }
    // Active on the virtual port COMn: a server, or a client that connects at once.
    void virtualServer(int n) {
        virtualPort(n);
        server();
        activate();
    }
    void virtualClient(int n, int port) {
        virtualPort(n);
        options([](IoOptions& o) { o.ConnectOnVirtualOpen = 0; });
        client(port);
        activate();
    }
    // An active server on COMn, the test-made device dev.
    void serverOnDevice(int n) {
        dev = device(n);
        serialPort(n);
        server();
        activate();
        ASSERT_TRUE(doc->isActive());
    }
    void fromDevice(const QByteArray& bytes) { writeAll(dev.master.get(), bytes); }
    QByteArray toDevice(qsizetype n) { return readExactly(dev.master.get(), n); }
    bool deviceGetsNothing() {
        return readExactly(dev.master.get(), 1, std::chrono::milliseconds(100)).isEmpty();
    }
    int listeningPort() const { return socket(0).LocalPort(); }
    // n more clients of the listening session, each one served before the next comes.
    Peers connectClients(int n) {
        Peers peers;
        const int before = doc->ConnectedClients();
        for (int i = 1; i <= n; ++i) {
            peers.push_back(connectedPeer(listeningPort()));
            if (!clientsBecome(before + i))
                ADD_FAILURE() << "client " << i << " is not served";
        }
        return peers;
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i)
            doc->Timer2_Timer();
    }
    // An application that opens the session's virtual port COMn.
    UniqueFd openApplication(int n) {
        UniqueFd fd = openTerminal(comLinkPath(n));
        waitUntil([&] { return doc->VSPort1().isOpenedByApp(); });
        return fd;
    }

    IsolatedHome home;
    ScriptedHost host;
    std::unique_ptr<frmDocument> doc = std::make_unique<frmDocument>(host);
    TestPty dev;
};
