#include "platform/linux/TerminalLine.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<speed_t, qint32>, 30> kRates{{
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
}};

qint32 rateOf(speed_t speed) {
    for (const auto& [code, rate] : kRates) {
        if (code == speed)
            return rate;
    }
    return 0;
}

speed_t speedOf(qint32 rate) {
    for (const auto& [code, r] : kRates) {
        if (r == rate)
            return code;
    }
    return B0;
}

} // namespace

ApplicationLine lineOf(const termios& tio) {
    ApplicationLine line;
    line.settings.baudRate = rateOf(::cfgetospeed(&tio));
    const tcflag_t size = tio.c_cflag & CSIZE;
    line.settings.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
    const bool odd = (tio.c_cflag & PARODD) != 0;
    // A pty clears the parity enable bit but keeps the others: odd, mark and space show.
    if (tio.c_cflag & CMSPAR)
        line.settings.parity = QLatin1Char(odd ? 'M' : 'S');
    else if (odd)
        line.settings.parity = QLatin1Char('O');
    else if (tio.c_cflag & PARENB)
        line.settings.parity = QLatin1Char('E');
    line.settings.stopBits =
        tio.c_cflag & CSTOPB ? SerialLineSettings::Stop::Two : SerialLineSettings::Stop::One;
    if (tio.c_cflag & CRTSCTS)
        line.handshaking = 2;
    else if (tio.c_iflag & (IXON | IXOFF))
        line.handshaking = 1;
    return line;
}

void putLine(termios& tio, const ApplicationLine& line) {
    const SerialLineSettings& settings = line.settings;
    if (const speed_t speed = speedOf(settings.baudRate); speed != B0)
        ::cfsetspeed(&tio, speed);
    tio.c_cflag &= ~(CSTOPB | PARODD | CMSPAR | CRTSCTS);
    if (line.handshaking == 2)
        tio.c_cflag |= CRTSCTS;
    if (settings.stopBits != SerialLineSettings::Stop::One)
        tio.c_cflag |= CSTOPB;
    const char parity = settings.parity.toLatin1();
    if (parity == 'O' || parity == 'M')
        tio.c_cflag |= PARODD;
    if (parity == 'M' || parity == 'S')
        tio.c_cflag |= CMSPAR;
}
