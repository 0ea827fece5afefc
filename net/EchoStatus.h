#pragma once
// Echo status codes, their display texts and the echo time-out that goes with them.

#include <QString>

// The status an echo ends with: 0 success, -1 an address that is not dotted IPv4, otherwise
// the IP status numbers 11001 to 11050 and 11255.
namespace EchoStatus {
constexpr int Success = 0;
constexpr int BadAddress = -1;
constexpr int BufferTooSmall = 11001;
constexpr int DestNetUnreachable = 11002;
constexpr int DestHostUnreachable = 11003;
constexpr int DestProtUnreachable = 11004;
constexpr int DestPortUnreachable = 11005;
constexpr int NoResources = 11006;
constexpr int PacketTooBig = 11009;
constexpr int RequestTimedOut = 11010;
constexpr int BadRoute = 11012;
constexpr int TtlExpiredTransit = 11013;
constexpr int TtlExpiredReassembly = 11014;
constexpr int ParameterProblem = 11015;
constexpr int SourceQuench = 11016;
constexpr int BadDestination = 11018;
constexpr int GeneralFailure = 11050;
constexpr int Pending = 11255;
} // namespace EchoStatus

// The echo time-out in milliseconds for a time-out list index: 100 x (index + 1), or 500 when
// that is not above 0.
int pingTimeoutForIndex(int index);

// The time-out of the latest echo, which PingStatusText compares against. 1000 until the first
// echo; the session window sets it to 1000 when it loads.
int currentPingTimeout();
void setCurrentPingTimeout(int milliseconds);

// "<code>   [<message>]", e.g. "11010   [IP Request Timed Out]". A code equal to the current
// ping time-out that is no known status reads "Ping Timeout".
QString PingStatusText(int status);
