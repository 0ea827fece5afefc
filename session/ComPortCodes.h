#pragma once
// The commands of Telnet COM port control and the codes of its values, for both ends.

#include "platform/linux/SerialLineSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

namespace ComPortCodes {

// The client's commands; the server answers and notifies with the same code plus serverOffset.
enum Command : std::uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowSuspend = 8,
    FlowResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
constexpr std::uint8_t serverOffset = 100;

// Parity codes 1 to 5, as letters of the settings text.
constexpr char parityLetters[] = "NOEMS";

inline std::uint8_t parityCode(QChar letter) {
    return std::uint8_t(QByteArrayView(parityLetters).indexOf(letter.toLatin1()) + 1);
}

// 0 for a code out of range.
inline QChar parityOf(std::uint8_t code) {
    return code >= 1 && code <= 5 ? QLatin1Char(parityLetters[code - 1]) : QChar();
}

inline std::uint8_t stopCode(SerialLineSettings::Stop stop) {
    using Stop = SerialLineSettings::Stop;
    return stop == Stop::Two ? 2 : stop == Stop::OneAndHalf ? 3 : 1;
}

inline SerialLineSettings::Stop stopOf(std::uint8_t code) {
    using Stop = SerialLineSettings::Stop;
    return code == 2 ? Stop::Two : code == 3 ? Stop::OneAndHalf : Stop::One;
}

// The SET-CONTROL value for outbound flow control: 0 none, 1 Xon/Xoff, 2 hardware.
inline std::uint8_t flowCode(int handshaking) {
    return std::uint8_t(1 + handshaking);
}

// A baud rate as it travels: four bytes in network order.
inline QByteArray rateBytes(quint32 rate) {
    const char bytes[] = {char(rate >> 24), char(rate >> 16), char(rate >> 8), char(rate)};
    return QByteArray(bytes, 4);
}

} // namespace ComPortCodes
