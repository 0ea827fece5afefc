#include "net/EchoStatus.h"

namespace {

int g_currentTimeout = 1000;

struct StatusMessage {
    int code;
    const char* text;
};

// Fixed English texts, tested in this order.
constexpr StatusMessage kMessages[] = {
    {0, "IP Success"},
    {-1, "Bad IP Format"},
    {11001, "IP Buffer too_small"},
    {11002, "IP Dest Net Unreachable"},
    {11003, "IP Dest Host Unreachable"},
    {11004, "IP Dest Prot Unreachable"},
    {11005, "IP Dest Port Unreachable"},
    {11006, "IP No Resources"},
    {11007, "IP Bad Option"},
    {11008, "IP Hardware Error"},
    {11009, "IP Packet Too Big"},
    {11010, "IP Request Timed Out"},
    {11011, "IP Bad Request"},
    {11012, "IP Bad Route"},
    {11013, "IP TTL Expired Transit"},
    {11014, "IP TTL Expired Reassembly"},
    {11015, "IP Parameter Problem"},
    {11016, "IP Source Quench"},
    {11017, "IP Option Too Big"},
    {11018, "IP Bad Destination"},
    {11019, "IP Address Deleted"},
    {11020, "IP Sp"
            "ec MTU Change"},
    {11021, "IP MTU Changed"},
    {11022, "IP Unload"},
    {11023, "IP Address Added"},
    {11050, "IP General Failure"},
    {11255, "IP Pending"},
};

QString statusMessage(int status) {
    for (const StatusMessage& m : kMessages) {
        if (m.code == status)
            return QString::fromLatin1(m.text);
    }
    if (status == g_currentTimeout)
        return QStringLiteral("Ping Timeout");
    return QStringLiteral("Unknown Message Returned");
}

} // namespace

int pingTimeoutForIndex(int index) {
    const long long milliseconds = 100LL * (static_cast<long long>(index) + 1);
    if (milliseconds <= 0 || milliseconds > 0x7fffffff)
        return 500;
    return static_cast<int>(milliseconds);
}

int currentPingTimeout() {
    return g_currentTimeout;
}

void setCurrentPingTimeout(int milliseconds) {
    g_currentTimeout = milliseconds;
}

QString PingStatusText(int status) {
    return QString::number(status) + QStringLiteral("   [") + statusMessage(status) +
           QLatin1Char(']');
}
