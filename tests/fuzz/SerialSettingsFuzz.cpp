// The serial settings text, given to a port open on a pty and sent as "[COMSETTINGS=" to a
// session window: a text the port accepts is applied exactly (the terminal's rate and stop
// bits follow it, and the port reports it back in its plain form); a text it refuses changes
// nothing; and whatever "[COMSETTINGS=" selects in the session's lists is what its port gets.

#include "model/HeadlessHost.h"
#include "platform/linux/LinuxSerialPort.h"
#include "platform/linux/SerialLineSettings.h"
#include "session/SessionCommand.h"
#include "session/frmDocument.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QFile>

#include <cstdlib>
#include <pty.h>
#include <termios.h>

int terminalRate(int fd); // tests/platform/TerminalRate.cpp

namespace {

const QString kPlainSettings = QStringLiteral("9600,N,8,1");

struct Fixture {
    int master = -1;
    int slave = -1; // the device's own end, kept open to read back its line settings
    LinuxSerialPort port;
    HeadlessHost host;
    frmDocument session{host};
};

Fixture& fixture() {
    static Fixture* f = [] {
        auto* made = new Fixture;
        termios raw{};
        ::cfmakeraw(&raw);
        FUZZ_CHECK(::openpty(&made->master, &made->slave, nullptr, &raw, nullptr) == 0);
        const QString device = QString::fromLocal8Bit(::ttyname(made->slave));
        FUZZ_CHECK(QFile::link(device, fuzzFolder() + QStringLiteral("/ports/COM1")));
        FUZZ_CHECK(made->port.setCommPort(1).ok());
        FUZZ_CHECK(made->port.setPortOpen(true).ok());
        // The fixture lives as long as the process, but the port's lock file must not: left
        // behind, it would keep other users from a later pty of the same number.
        std::atexit([] { fixture().port.setPortOpen(false); });
        return made;
    }();
    return *f;
}

bool twoStopBits(int fd) {
    termios tio{};
    FUZZ_CHECK(::tcgetattr(fd, &tio) == 0);
    return (tio.c_cflag & CSTOPB) != 0;
}

void checkPort(const QString& text) {
    Fixture& f = fixture();
    FUZZ_CHECK(f.port.setSettings(kPlainSettings).ok());
    const auto parsed = SerialLineSettings::parse(text);
    FUZZ_CHECK(f.port.setSettings(text).ok() == parsed.has_value());
    const SerialLineSettings applied = parsed.value_or(SerialLineSettings{});
    FUZZ_CHECK(f.port.settings() == applied.toString());
    FUZZ_CHECK(SerialLineSettings::parse(applied.toString()) == applied);
    FUZZ_CHECK(terminalRate(f.slave) == applied.baudRate);
    // A pty keeps the rate and the stop bits; it forces 8 data bits without parity.
    FUZZ_CHECK(twoStopBits(f.slave) == (applied.stopBits != SerialLineSettings::Stop::One));
}

void checkSessionCommand(const QString& text) {
    frmDocument& session = fixture().session;
    const int defaults[] = {6, 0, 3, 0}; // 9600, None, 8, 1
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(session.Combo1[i]->setListIndex(defaults[i]));

    const QString command = QStringLiteral("[COMSETTINGS=") + text;
    const SessionCommand parsed = SessionCommand::parse(command);
    FUZZ_CHECK(parsed.kind == SessionCommand::Kind::ComSettings);
    FUZZ_CHECK(executeSessionCommand(session, command));
    const int chosen[] = {parsed.baud, parsed.parity, parsed.dataBits, parsed.stopBits};
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(session.Combo1[i]->listIndex() == (chosen[i] >= 0 ? chosen[i] : defaults[i]));

    // Every choice of the lists makes a text the port takes, and it is the lists' choice.
    const auto port = SerialLineSettings::parse(session.MSComm1().settings());
    const auto& lists = session.Combo1;
    FUZZ_CHECK(port && port->toString() == QStringLiteral("%1,%2,%3,%4")
                                               .arg(lists[0]->text(), lists[1]->text().left(1),
                                                    lists[2]->text(), lists[3]->text()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(inputBytes(data, size));
    checkPort(text);
    checkSessionCommand(text);
    return 0;
}
