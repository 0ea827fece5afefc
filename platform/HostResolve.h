#pragma once
// Host name resolution to a dotted IPv4 address, without blocking the event loop.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

// Resolves name and hands done the first IPv4 address in dotted form, or an empty string when
// the name does not resolve to one. done runs on the event loop, never inside this call, and
// is dropped when context is destroyed first.
void ResolveHostAddress(const QString& name, QObject* context,
                        std::function<void(const QString&)> done);

// The four bytes of an address in dotted decimal ("\xC0\xA8\x00\x0A" gives 192.168.0.10).
// Bytes beyond the fourth are ignored; missing ones are left out.
QString DottedAddress(const QByteArray& bytes);
