// Byte rate through a TCP socket element on loopback, both directions, with the element's
// default read buffer bound: the engine's way of draining (GetData on every dataArrival) and
// of sending (SendData, then waiting for sendComplete).
#include "platform/QtSocket.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <benchmark/benchmark.h>
#include <functional>
#include <memory>

namespace {

constexpr qint64 kChunk = 64 * 1024;

bool runUntil(const std::function<bool()>& done,
              std::chrono::seconds bound = std::chrono::seconds(60)) {
    QDeadlineTimer deadline(bound);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    return done();
}

// A connected element with the server's end of its connection.
struct Pair {
    QTcpServer server;
    QtSocket element;
    std::unique_ptr<QTcpSocket> peer;

    bool open() {
        server.listen(QHostAddress::LocalHost, 0);
        element.setRemoteHost("127.0.0.1");
        element.setRemotePort(server.serverPort());
        if (!element.Connect() || !runUntil([&] { return server.hasPendingConnections(); }))
            return false;
        peer.reset(server.nextPendingConnection());
        return runUntil([&] { return element.State() == 7; });
    }
};

void socketToEngine(benchmark::State& state) {
    const qint64 total = state.range(0) * 1024 * 1024;
    Pair pair;
    if (!pair.open()) {
        state.SkipWithError("no loopback connection");
        return;
    }
    qint64 received = 0;
    QObject::connect(&pair.element, &Socket::dataArrival,
                     [&] { received += pair.element.GetData().size(); });
    const QByteArray chunk(kChunk, 'x');
    for (auto _ : state) {
        received = 0;
        qint64 written = 0;
        // Keep the sender a few chunks ahead, as a fast serial-side peer would.
        runUntil([&] {
            while (written < total && pair.peer->bytesToWrite() < 4 * kChunk) {
                pair.peer->write(chunk);
                written += kChunk;
            }
            return received >= total;
        });
    }
    state.SetBytesProcessed(state.iterations() * total);
    state.counters["MB"] =
        benchmark::Counter(double(state.iterations() * total) / 1e6, benchmark::Counter::kIsRate);
}

void engineToSocket(benchmark::State& state) {
    const qint64 total = state.range(0) * 1024 * 1024;
    Pair pair;
    if (!pair.open()) {
        state.SkipWithError("no loopback connection");
        return;
    }
    const QByteArray chunk(kChunk, 'y');
    for (auto _ : state) {
        qint64 sent = 0;
        qint64 received = 0;
        runUntil([&] {
            while (sent < total && pair.element.bytesToSend() < 4 * kChunk) {
                pair.element.SendData(chunk);
                sent += kChunk;
            }
            received += pair.peer->readAll().size();
            return received >= total;
        });
    }
    state.SetBytesProcessed(state.iterations() * total);
    state.counters["MB"] =
        benchmark::Counter(double(state.iterations() * total) / 1e6, benchmark::Counter::kIsRate);
}

BENCHMARK(socketToEngine)
    ->Name("bench_socket/peer_to_element")
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(engineToSocket)
    ->Name("bench_socket/element_to_peer")
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
