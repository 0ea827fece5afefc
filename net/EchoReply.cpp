#include "net/EchoReply.h"

#include <QtEndian>

qint32 wireOrderAddressValue(quint32 address) {
    return static_cast<qint32>(qbswap(address));
}
