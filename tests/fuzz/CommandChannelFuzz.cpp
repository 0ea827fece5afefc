// The command channel's line reader and the command grammar on anything a client sends, in
// writes of any size: every complete line gets exactly one answer, in order; the handler sees
// exactly the requests the lines hold; a line beyond the bound ends the connection after one
// refusal; the connection never hangs and leaves no descriptor behind. The grammar reads a
// command without regard to case and surrounding spaces, and every settings command it
// understands, written out plainly, reads back the same.
// Input: the first byte chooses the size of the client's writes; the rest is what it sends.

#include "app/CommandConnection.h"
#include "app/CommandProtocol.h"
#include "platform/linux/UniqueFd.h"
#include "session/SessionCommand.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <vector>

namespace {

using command_protocol::kMaxLine;

constexpr qsizetype kWriteSizes[] = {1, 2, 3, 5, 8, 64, 512};
// An exchange takes milliseconds; this much is a hang even on a machine busy with other work,
// and ends before the fuzzer's own timeout so that the report names the exchange.
constexpr std::chrono::seconds kHangBound{45};

struct Request {
    QString topic, command;
    bool operator==(const Request&) const = default;
};

bool sameParse(const SessionCommand& a, const SessionCommand& b) {
    return a.kind == b.kind && a.baud == b.baud && a.parity == b.parity &&
           a.dataBits == b.dataBits && a.stopBits == b.stopBits;
}

// The plain text of a settings command whose four fields were all understood.
QString plainSettings(const SessionCommand& c) {
    static const char* const rates[] = {"110",    "300",    "600",    "1200",  "2400",  "4800",
                                        "9600",   "14400",  "19200",  "28800", "38400", "57600",
                                        "115200", "230400", "460800", "921600"};
    static const char* const parities[] = {"NONE", "E", "ODD", "M", "SPACE"};
    static const char* const stops[] = {"1", "1.5", "2"};
    return QStringLiteral("[COMSETTINGS=%1,%2,%3,%4]")
        .arg(QLatin1String(rates[c.baud]), QLatin1String(parities[c.parity]))
        .arg(c.dataBits + 5)
        .arg(QLatin1String(stops[c.stopBits]));
}

bool isAscii(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

void checkGrammar(const QString& command) {
    const QString normal = normalizeCommand(command);
    FUZZ_CHECK(normalizeCommand(normal) == normal);
    const SessionCommand parsed = SessionCommand::parse(command);
    FUZZ_CHECK(sameParse(SessionCommand::parse(normal), parsed));
    FUZZ_CHECK(isAppExitCommand(command) == (normal == QLatin1String("[APPEXIT]")));
    if (isAscii(command)) {
        FUZZ_CHECK(sameParse(SessionCommand::parse(command.toLower()), parsed));
        FUZZ_CHECK(sameParse(SessionCommand::parse(QStringLiteral("  ") + command + u' '), parsed));
    }
    if (parsed.kind != SessionCommand::Kind::ComSettings)
        return;
    FUZZ_CHECK(parsed.baud >= -1 && parsed.baud < 16 && parsed.parity >= -1 && parsed.parity < 5);
    FUZZ_CHECK(parsed.dataBits >= -1 && parsed.dataBits < 4);
    FUZZ_CHECK(parsed.stopBits >= -1 && parsed.stopBits < 3);
    if (parsed.baud >= 0 && parsed.parity >= 0 && parsed.dataBits >= 0 && parsed.stopBits >= 0)
        FUZZ_CHECK(sameParse(SessionCommand::parse(plainSettings(parsed)), parsed));
}

// The program's answer to a request: the system topic takes "[APPEXIT]", the session COM1
// the session commands; there is no other topic.
CommandReply replyTo(const QString& topic, const QString& command) {
    if (topic.compare(QLatin1String(command_protocol::kSystemTopic), Qt::CaseInsensitive) == 0)
        return isAppExitCommand(command) ? CommandReply::Accepted : CommandReply::Refused;
    if (topic.compare(QLatin1String("COM1"), Qt::CaseInsensitive) == 0)
        return SessionCommand::parse(command).kind == SessionCommand::Kind::Unknown
                   ? CommandReply::Refused
                   : CommandReply::Accepted;
    return CommandReply::NoSuchTopic;
}

QByteArray answerText(CommandReply reply) {
    return reply == CommandReply::Accepted  ? "ACK"
           : reply == CommandReply::Refused ? "NAK"
                                            : "NAK\tno such topic";
}

// What the wire format promises for a stream of request lines.
struct Exchange {
    std::vector<QByteArray> answers;
    std::vector<Request> requests;
};

void expectLine(QByteArray line, Exchange& expected) {
    if (line.endsWith('\r'))
        line.chop(1);
    if (!line.isValidUtf8()) {
        expected.answers.push_back("NAK\tnot UTF-8");
        return;
    }
    const QString text = QString::fromUtf8(line); // a leading byte order mark is no text
    const bool control = std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f;
    });
    const qsizetype tab = text.indexOf(u'\t');
    if (tab < 0 || control) {
        expected.answers.push_back("NAK\tmalformed request");
        return;
    }
    const Request request{text.left(tab), text.mid(tab + 1)};
    expected.requests.push_back(request);
    expected.answers.push_back(answerText(replyTo(request.topic, request.command)));
}

Exchange expectedExchange(const QByteArray& stream) {
    Exchange expected;
    for (qsizetype pos = 0;;) {
        const qsizetype end = stream.indexOf('\n', pos);
        if ((end < 0 ? stream.size() : end) - pos >= kMaxLine) {
            expected.answers.push_back("NAK\tline too long");
            break;
        }
        if (end < 0)
            break;
        expectLine(stream.mid(pos, end - pos), expected);
        pos = end + 1;
    }
    return expected;
}

// The client's end of the connection.
struct Client {
    UniqueFd fd;
    QByteArray received;

    // Sends what the peer takes; false once the peer has closed.
    bool send(const QByteArray& bytes) {
        return ::send(fd.get(), bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) ==
               bytes.size();
    }
    bool peerHasReadAll() const {
        int unread = 0;
        return ::ioctl(fd.get(), SIOCOUTQ, &unread) == 0 && unread == 0;
    }
    void receive() {
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
            received.append(buffer, n);
    }
};

// Runs the event loop until done() holds; a connection that never gets there hangs.
void runUntil(const std::function<bool()>& done, Client& client) {
    const QDeadlineTimer deadline(kHangBound);
    while (!done()) {
        FUZZ_CHECK(!deadline.hasExpired());
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
        client.receive();
    }
}

// Sends the stream over a real connection, in writes of writeSize bytes, and collects what
// the client receives and the requests the handler sees.
Exchange runExchange(const QByteArray& stream, qsizetype writeSize) {
    int ends[2];
    FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, ends) == 0);
    Client client{UniqueFd(ends[1]), {}};
    Exchange seen;
    const CommandHandler handler = [&](const QString& topic, const QString& command) {
        checkGrammar(command);
        seen.requests.push_back({topic, command});
        return replyTo(topic, command);
    };
    {
        auto* socket = new QLocalSocket;
        FUZZ_CHECK(socket->setSocketDescriptor(ends[0]));
        CommandConnection connection(socket, handler, nullptr);
        bool finished = false;
        QObject::connect(&connection, &CommandConnection::finished, [&] { finished = true; });
        for (qsizetype at = 0; at < stream.size() && !finished; at += writeSize) {
            if (!client.send(stream.mid(at, writeSize)))
                break; // the program has closed the connection
            runUntil([&] { return finished || client.peerHasReadAll(); }, client);
        }
        ::shutdown(client.fd.get(), SHUT_WR);
        runUntil([&] { return finished; }, client);
    }
    client.receive();
    QList<QByteArray> lines = client.received.split('\n');
    FUZZ_CHECK(lines.takeLast().isEmpty()); // every answer is a whole line
    seen.answers.assign(lines.begin(), lines.end());
    return seen;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const OpenDescriptors before = openDescriptors();
    const QByteArray stream = inputBytes(data + 1, size - 1);
    const Exchange seen = runExchange(stream, kWriteSizes[data[0] % std::size(kWriteSizes)]);
    const Exchange expected = expectedExchange(stream);
    FUZZ_CHECK(seen.answers == expected.answers);
    FUZZ_CHECK(seen.requests == expected.requests);
    checkNoDescriptorLeft(before);
    return 0;
}
