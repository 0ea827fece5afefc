// Byte rate through a virtual port, both ways, with the benchmark as the application that
// opens the port. Run by hand (see README.md); reports MB/s as the median of several runs.

#include "platform/linux/PtyVirtualPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qsizetype bytesPerIteration = 4 * 1024 * 1024;
constexpr int chunk = 65536;

// A virtual port in a private ports folder, opened by the benchmark as the application.
struct OpenPort {
    QTemporaryDir dir;
    PtyVirtualPort port;
    int app = -1;

    bool setUp() {
        qputenv("LUMIVEX_PORTS", QFile::encodeName(dir.path()));
        if (!port.createPort(QStringLiteral("COM42")))
            return false;
        app = ::open(QFile::encodeName(dir.path() + QStringLiteral("/COM42")).constData(),
                     O_RDWR | O_NOCTTY | O_NONBLOCK);
        port.pollOpenState();
        return app >= 0 && port.isOpenedByApp();
    }
    ~OpenPort() {
        if (app >= 0)
            ::close(app);
    }
};

// bytes_per_second in binary units, MB in decimal megabytes per second.
void report(benchmark::State& state) {
    const double bytes = double(state.iterations()) * double(bytesPerIteration);
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    state.counters["MB"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
}

void pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
}

void ApplicationToSession(benchmark::State& state) {
    OpenPort open;
    if (!open.setUp()) {
        state.SkipWithError("cannot create the virtual port");
        return;
    }
    const QByteArray data(chunk, 'a');
    QByteArray buffer(chunk, '\0');
    qsizetype received = 0;
    QObject::connect(&open.port, &VirtualPort::dataReceived, [&](int) {
        while (open.port.bytesWaiting() > 0)
            received += open.port.read(buffer.data(), chunk);
    });
    for (auto _ : state) {
        qsizetype written = 0;
        received = 0;
        while (received < bytesPerIteration) {
            if (written < bytesPerIteration) {
                const ssize_t n = ::write(open.app, data.constData(), chunk);
                written += n > 0 ? n : 0;
            }
            pump();
        }
    }
    report(state);
}

void SessionToApplication(benchmark::State& state) {
    OpenPort open;
    if (!open.setUp()) {
        state.SkipWithError("cannot create the virtual port");
        return;
    }
    const QByteArray data(chunk, 's');
    QByteArray buffer(chunk, '\0');
    for (auto _ : state) {
        qsizetype written = 0;
        qsizetype received = 0;
        while (received < bytesPerIteration) {
            if (written < bytesPerIteration)
                written += open.port.write(data.constData(), chunk);
            const ssize_t n = ::read(open.app, buffer.data(), chunk);
            received += n > 0 ? n : 0;
        }
    }
    report(state);
}

BENCHMARK(ApplicationToSession)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(SessionToApplication)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace
