#include "net/PingCode.h"

#include "model/GlobalSettings.h"
#include "net/EchoService.h"
#include "net/EchoStatus.h"

#include <arpa/inet.h>

namespace {

// inet_addr's reading of an address (it also takes forms like 127.1); nullopt for anything
// else, the all-ones address included as inet_addr cannot tell it from a failure.
std::optional<quint32> dottedAddress(const QString& text) {
    // Characters beyond Latin-1 become '?', which inet_addr refuses like any other letter.
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty() || bytes.contains('\0'))
        return std::nullopt;
    const in_addr_t address = ::inet_addr(bytes.constData());
    if (address == INADDR_NONE)
        return std::nullopt;
    return ntohl(address);
}

} // namespace

void PingHost(const QString& address, const QByteArray& data, QObject* context, EchoDone done) {
    setCurrentPingTimeout(pingTimeoutForIndex(globals().PingTimeout));
    const auto numeric = dottedAddress(address);
    if (!numeric) {
        EchoReply bad;
        bad.status = EchoStatus::BadAddress;
        EchoService::deliverLater(context, std::move(done), bad);
        return;
    }
    EchoService::instance().send(*numeric, data, std::chrono::milliseconds(currentPingTimeout()),
                                 context, std::move(done));
}

void KeepAlivePing(const QString& address, QObject* context, EchoDone done) {
    if (!NetStartup()) {
        EchoReply failed;
        failed.status = EchoStatus::BadAddress;
        EchoService::deliverLater(context, std::move(done), failed);
        return;
    }
    PingHost(address, QByteArrayLiteral("Hello"), context, std::move(done));
    NetCleanup();
}

bool NetStartup() {
    return true;
}

void NetCleanup() {}
