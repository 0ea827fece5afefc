#pragma once
// How a connection notices a peer that vanished (powered off, cable pulled, address gone)
// without the session sending anything: keepalive probes while it is idle, and a bound on how
// long sent bytes may stay unacknowledged. Either way the kernel ends the connection, the
// element reports it, and a server's slot is free again well within a minute.

#include <chrono>

namespace TcpKeepAlive {

constexpr std::chrono::seconds idle{10};    // quiet time before the first probe
constexpr std::chrono::seconds interval{5}; // between unanswered probes
constexpr int probes = 3;
// Unacknowledged data is given as long as an idle connection's probes take in all.
constexpr std::chrono::milliseconds userTimeout = idle + probes * interval;

// Sets both on a connected TCP socket; false when the kernel refuses one of them.
bool apply(int fd);

} // namespace TcpKeepAlive
