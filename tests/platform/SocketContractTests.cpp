// Wrong calls, error numbers, elements not loaded and the local address list.
#include "platform/LocalAddresses.h"
#include "platform/SocketArray.h"
#include "platform/WinsockErrors.h"
#include "tests/platform/SocketTestPeers.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

struct WrongCall {
    const char* name;
    std::function<void(QtSocket&)> prepare;
    std::function<ComponentResult(QtSocket&)> call;
    int number;
};

void listening(QtSocket& s) {
    s.Bind(0, kLoopback);
    s.Listen();
}
void nothing(QtSocket&) {}

TEST(SocketWrongCalls, FailWithANumberAndLeaveTheElementAsItWas) {
    using S = QtSocket;
    const WrongCall calls[] = {
        {"SendOnListener", listening, [](S& s) { return s.SendData("x"); }, 40006},
        {"ListenOnUdp", udpBound, [](S& s) { return s.Listen(); }, 40006},
        {"AcceptOnUdp", udpBound, [](S& s) { return s.Accept(1); }, 40006},
        {"ConnectWhileListening", listening, [](S& s) { return s.Connect(); }, 40020},
        {"ListenTwice", listening, [](S& s) { return s.Listen(); }, 40020},
        {"BindTwice", udpBound, [](S& s) { return s.Bind(0); }, 40020},
        {"ProtocolWhileOpen", udpBound, [](S& s) { return s.setProtocol(0); }, 40020},
        {"UnknownProtocol", nothing, [](S& s) { return s.setProtocol(2); }, 380},
        {"RemotePortTooLarge", nothing, [](S& s) { return s.setRemotePort(65536); }, 380},
        {"BindToIPv6", nothing, [](S& s) { return s.Bind(0, "::1"); }, 10049},
        {"BindElsewhere", nothing, [](S& s) { return s.Bind(0, "192.0.2.1"); }, 10049},
        {"ConnectWithoutHost", nothing, [](S& s) { return connectTo(s, "", 80); }, 10022},
        {"ConnectToPortZero", nothing, [](S& s) { return connectTo(s, kLoopback, 0); }, 10049},
        {"AcceptUnknownRequest", nothing, [](S& s) { return s.Accept(0); }, 10038},
    };
    for (const WrongCall& c : calls) {
        SCOPED_TRACE(c.name);
        QtSocket element;
        c.prepare(element);
        const int stateBefore = element.State();
        QSignalSpy errorSpy(&element, &Socket::error);
        const ComponentResult result = c.call(element);
        EXPECT_EQ(result.number, c.number);
        EXPECT_FALSE(result.description.isEmpty());
        EXPECT_TRUE(element.State() == stateBefore && errorSpy.isEmpty()) << "no event, no change";
    }
}

TEST(SocketArray, IndexesThatAreNotLoadedFailWithoutCrashing) {
    SocketArray array;
    for (int index : {1, -1, SocketArray::kMaxIndex + 1}) {
        Socket& missing =
            index > 0 && index <= SocketArray::kMaxIndex ? array.at(index) : array.load(index);
        EXPECT_EQ(missing.Connect().number, 340) << index;
        EXPECT_EQ(missing.SendData("x").number, 340) << index;
        EXPECT_TRUE(missing.GetData().isEmpty() && missing.State() == 0);
    }
    EXPECT_EQ(array.maxIndex(), 0);
}

TEST(WinsockErrors, EverySocketErrorIsASocketLayerNumberWithText) {
    const QMetaEnum errors = QMetaEnum::fromType<QAbstractSocket::SocketError>();
    for (int k = 0; k < errors.keyCount(); ++k) {
        const auto error = QAbstractSocket::SocketError(errors.value(k));
        const ComponentResult failure = winsockFailure(error);
        EXPECT_TRUE(failure.number > 10000 && !failure.description.isEmpty()) << errors.key(k);
    }
}

TEST(LocalAddresses, AreDottedIPv4WithLoopbackLast) {
    const QStringList addresses = localIPv4Addresses();
    ASSERT_TRUE(addresses.contains(kLoopback));
    const auto outward = [](const QString& address) {
        return !address.startsWith("127.");
    };
    EXPECT_TRUE(std::is_partitioned(addresses.begin(), addresses.end(), outward));
    for (const QString& address : addresses)
        EXPECT_EQ(QHostAddress(address).protocol(), QAbstractSocket::IPv4Protocol)
            << address.toStdString();
}

} // namespace
