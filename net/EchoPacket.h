#pragma once
// ICMP echo packets: building a request and reading what comes back (an echo reply, or an
// error report quoting one of our requests).

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// One ICMP message that concerns an echo request: its identifier and sequence, and either the
// reply's data (status 0) or the status its error report stands for.
struct IcmpEchoMessage {
    quint16 identifier = 0;
    quint16 sequence = 0;
    int status = 0;
    QByteArray data; // echo reply data; empty for error reports
};

// The internet checksum (RFC 1071) of the bytes.
quint16 internetChecksum(const QByteArray& bytes);

// An echo request (type 8) with the checksum filled in.
QByteArray buildEchoRequest(quint16 identifier, quint16 sequence, const QByteArray& data);

// Reads an ICMP message (starting with the ICMP header) as an echo reply or as an error report
// about an echo request; nullopt for anything else (our own request seen on loopback included).
std::optional<IcmpEchoMessage> parseIcmpMessage(const QByteArray& icmp);

// Reads an echo request (type 8): its identifier, sequence and data; nullopt for anything else.
std::optional<IcmpEchoMessage> parseEchoRequest(const QByteArray& icmp);

// The same as parseIcmpMessage for a packet that starts with its IPv4 header (what a raw socket
// receives).
std::optional<IcmpEchoMessage> parseIpPacket(const QByteArray& packet);

// The status of an ICMP error report of this type and code.
int statusOfIcmpError(int type, int code);

// The status of a send that the system refused with errno.
int statusOfSendError(int error);
