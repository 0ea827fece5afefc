#pragma once
// Helpers for tests that send real echo requests on loopback.

#include "net/EchoReply.h"
#include "net/EchoService.h"
#include "tests/support/TestSupport.h"

#include <QtGlobal>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>

constexpr quint32 kLoopbackAddress = 0x7f000001;

// Set by the runs inside a namespace of their own, where echo sockets of both kinds open.
inline bool echoRequired() {
    return qEnvironmentVariableIntValue("LUMIVEX_REQUIRE_ECHO") == 1;
}

// Sends one request through service and waits (bounded) for its outcome.
inline std::optional<EchoReply>
echoAndWait(EchoService& service, quint32 address, const QByteArray& data,
            std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::optional<EchoReply> outcome;
    QObject context;
    service.send(address, data, timeout, &context,
                 [&outcome](const EchoReply& reply) { outcome = reply; });
    waitUntil([&] { return outcome.has_value(); }, timeout + std::chrono::seconds(3));
    return outcome;
}

// Checks what one echo to loopback gave: the data back from 127.0.0.1 when the socket kind
// can be opened, "IP General Failure" with nothing sent when it cannot.
inline void expectLoopbackOutcome(const EchoReply& reply, bool echoAvailable,
                                  const QByteArray& sent) {
    const auto got =
        std::tuple(reply.status, reply.echoUnavailable, reply.address, reply.dataSize, reply.data);
    if (echoAvailable)
        EXPECT_EQ(got, std::tuple(0, false, kLoopbackAddress, int(sent.size()),
                                  sent.left(EchoReply::kDataCapacity)));
    else
        EXPECT_EQ(got, std::tuple(11050, true, 0u, 0, QByteArray()));
    EXPECT_LT(reply.roundTripTime, 2000u);
}
