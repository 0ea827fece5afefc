// lumivex-dde [--app NAME] TOPIC COMMAND
//
// Sends one command to a running program over its command socket and prints the answer.
// The running programs of this user are asked in turn (oldest first, by pid); the first one
// that has the topic answers. Exit status: 0 accepted, 1 refused, 2 no program answered or
// none has the topic, 64 (EX_USAGE) for a wrong command line. A socket left by a program that
// died is removed on the way.

#include "app/CommandProtocol.h"
#include "platform/Folders.h"
#include "platform/linux/UnixSocketAddress.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>
#include <sysexits.h>
#include <vector>

namespace {

using namespace command_protocol;

constexpr int kExitAccepted = 0;
constexpr int kExitRefused = 1;
constexpr int kExitNoAnswer = 2;
constexpr int kExitUsage = EX_USAGE; // 64, as BSD tools report a wrong command line

struct Request {
    QString app = QStringLiteral("lumivex");
    QString topic;
    QString command;
};

struct Program {
    qint64 pid;
    QString socket;
};

enum class Outcome { Accepted, Refused, NoSuchTopic, NoAnswer };

void usage() {
    std::fputs("usage: lumivex-dde [--app NAME] TOPIC COMMAND\n"
               "  e.g. lumivex-dde COM3 '[ACTIVATE]'\n"
               "       lumivex-dde System '[APPEXIT]'\n",
               stderr);
}

bool parseArguments(const QStringList& args, Request& request) {
    QStringList rest = args.mid(1);
    if (rest.size() >= 2 && rest.front() == QLatin1String("--app")) {
        request.app = rest.at(1);
        rest = rest.mid(2);
    }
    if (rest.size() != 2 || request.app.isEmpty() || request.app.contains(QLatin1Char('/')))
        return false;
    request.topic = rest.at(0);
    request.command = rest.at(1);
    // One request is one line, and the topic ends at the first tab.
    const auto oneLine = [](const QString& text) {
        return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
    };
    return oneLine(request.topic) && oneLine(request.command) &&
           !request.topic.contains(QLatin1Char('\t'));
}

std::vector<Program> runningPrograms(const QString& folder, const QString& app) {
    std::vector<Program> programs;
    const QStringList names =
        QDir(folder).entryList({app + QStringLiteral(".*.dde")}, QDir::System | QDir::Files);
    for (const QString& name : names) {
        if (const qint64 pid = pidOfSocketName(name, app))
            programs.push_back({pid, folder + QLatin1Char('/') + name});
    }
    std::sort(programs.begin(), programs.end(),
              [](const Program& a, const Program& b) { return a.pid < b.pid; });
    return programs;
}

bool processRunning(qint64 pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Nobody listens on it and its program is gone: the socket of a program that died.
void removeIfStale(const Program& program) {
    struct stat st {};
    const QByteArray path = QFile::encodeName(program.socket);
    if (::lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && !processRunning(program.pid))
        ::unlink(path.constData());
}

Outcome ask(const Program& program, const QByteArray& request, QByteArray& reason) {
    const QDeadlineTimer deadline(kAnswerBound);
    // A runtime folder too deep for a socket address is reached through a descriptor of it.
    const UnixSocketPath address(QFile::encodeName(program.socket));
    QLocalSocket socket;
    socket.connectToServer(QFile::decodeName(address.name()));
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        if (socket.error() == QLocalSocket::ConnectionRefusedError)
            removeIfStale(program);
        return Outcome::NoAnswer;
    }
    socket.write(request);
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return Outcome::NoAnswer;
    }
    const QByteArray answer = socket.readLine(kMaxLine).trimmed();
    const qsizetype tab = answer.indexOf('\t');
    const QByteArray word = tab < 0 ? answer : answer.left(tab);
    reason = tab < 0 ? QByteArray() : answer.mid(tab + 1);
    if (word == kAccepted)
        return Outcome::Accepted;
    if (word != kRefused)
        return Outcome::NoAnswer;
    return reason == kNoSuchTopic ? Outcome::NoSuchTopic : Outcome::Refused;
}

int run(const Request& request) {
    const RuntimeFolder folder = runtimeFolder();
    if (folder.path.isEmpty()) {
        std::fprintf(stderr, "lumivex-dde: %s\n", qPrintable(folder.error));
        return kExitNoAnswer;
    }
    const QByteArray line = (request.topic + QLatin1Char('\t') + request.command).toUtf8() + '\n';
    bool anyAnswered = false;
    for (const Program& program : runningPrograms(folder.path, request.app)) {
        QByteArray reason;
        const Outcome outcome = ask(program, line, reason);
        anyAnswered = anyAnswered || outcome != Outcome::NoAnswer;
        if (outcome == Outcome::Accepted || outcome == Outcome::Refused) {
            std::puts(outcome == Outcome::Accepted ? kAccepted : kRefused);
            if (!reason.isEmpty())
                std::fprintf(stderr, "lumivex-dde: %s\n", reason.constData());
            return outcome == Outcome::Accepted ? kExitAccepted : kExitRefused;
        }
    }
    if (anyAnswered)
        std::fprintf(stderr, "lumivex-dde: no running %s has the topic %s\n",
                     qPrintable(request.app), qPrintable(request.topic));
    else
        std::fprintf(stderr, "lumivex-dde: no running %s answered\n", qPrintable(request.app));
    return kExitNoAnswer;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Request request;
    if (!parseArguments(QCoreApplication::arguments(), request)) {
        usage();
        return kExitUsage;
    }
    return run(request);
}
