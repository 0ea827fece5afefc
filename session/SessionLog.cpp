// Status labels and the session's log: every new status caption becomes a log line.
#include "model/GlobalSettings.h"
#include "platform/SocketArray.h"
#include "session/Bridge.h"
#include "session/ErrorLog.h"
#include "session/SessionHeartbeat.h"
#include "session/frmDocument.h"
#include "text/StringTable.h"

#include <QDateTime>

void frmDocument::setStatus(int index, const QString& caption) {
    StatusBar1.at(index)->setCaption(caption);
}

QString frmDocument::errorLogLine(const QString& Desc) const {
    const QDateTime now = QDateTime::currentDateTime();
    const Socket& socket = Winsock1().at(0);
    QString line = QStringLiteral("Lumivex Error: ") + Desc + QStringLiteral(", ") +
                   now.toString(QStringLiteral("MM-dd-yyyy")) + QStringLiteral(", ") +
                   now.toString(QStringLiteral("HH:mm:ss")) +
                   QStringLiteral(", Lumivex IP Address: ") + LocalIPAddress + QStringLiteral(", ");
    if (TCPOptionValue != 0)
        return line + QStringLiteral("Server Mode, Local Port: ") +
               QString::number(socket.LocalPort());
    return line + QStringLiteral("Client Mode, Remote Host: ") + socket.RemoteHost() +
           QStringLiteral(", RemotePort: ") + QString::number(socket.RemotePort());
}

void frmDocument::LogErrors(const QString& Desc) {
    ErrorLog::append(errorLogLine(Desc));
    ErrorLog::runProgram(globals().OnErrorRunApp);
}

void frmDocument::lightUp(int index) {
    Shape1.at(index)->setFillColor(kRed);
    SessionHeartbeat::instance().wake();
}

// In how many heartbeat periods the window next has something to do: lit lights go out on
// the third tick, and the running engine tells what it needs.
int frmDocument::ticksUntilDue() const {
    const bool lit = Shape1[0]->fillColor() != kGreen || Shape1[1]->fillColor() != kGreen;
    const int lights = lit ? std::max(1, 3 - lightTicks_) : 0;
    const Bridge* bridge = running();
    const int engine = bridge ? bridge->ticksUntilDue() : 0;
    return lights == 0 || engine == 0 ? lights + engine : std::min(lights, engine);
}

void frmDocument::Timer2_Timer() {
    heartbeatTick(1);
}

// The heartbeat tick: the lights, then the running engine's part.
void frmDocument::heartbeatTick(int periods) {
    lightTicks_ += periods;
    if (lightTicks_ >= 3) {
        Shape1[0]->setFillColor(kGreen);
        Shape1[1]->setFillColor(kGreen);
        lightTicks_ = 0;
    }
    if (Bridge* bridge = running())
        bridge->tick(periods);
}
