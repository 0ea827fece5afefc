#include "platform/linux/SerialLineSettings.h"

#include <QStringList>

namespace {

// Highest rate a Linux serial driver takes through the custom-rate interface.
constexpr qint32 maxBaudRate = 4000000;

std::optional<qint32> parseBaud(const QString& text) {
    bool ok = false;
    const qint64 rate = text.toLongLong(&ok);
    if (!ok || rate < 50 || rate > maxBaudRate)
        return std::nullopt;
    return static_cast<qint32>(rate);
}

std::optional<QChar> parseParity(const QString& text) {
    if (text.size() != 1)
        return std::nullopt;
    const QChar letter = text.at(0).toUpper();
    if (!QStringLiteral("NEOMS").contains(letter))
        return std::nullopt;
    return letter;
}

std::optional<int> parseDataBits(const QString& text) {
    bool ok = false;
    const int bits = text.toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        return std::nullopt;
    return bits;
}

std::optional<SerialLineSettings::Stop> parseStopBits(const QString& text) {
    if (text == QLatin1String("1"))
        return SerialLineSettings::Stop::One;
    if (text == QLatin1String("1.5"))
        return SerialLineSettings::Stop::OneAndHalf;
    if (text == QLatin1String("2"))
        return SerialLineSettings::Stop::Two;
    return std::nullopt;
}

std::optional<SerialLineSettings> fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<SerialLineSettings> SerialLineSettings::parse(const QString& text, QString* error) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return fail(error, QStringLiteral("invalid serial settings \"%1\": expected "
                                          "baud,parity,data bits,stop bits (e.g. 9600,N,8,1)")
                               .arg(text));
    const auto baud = parseBaud(parts[0].trimmed());
    if (!baud)
        return fail(error, QStringLiteral("invalid baud rate \"%1\"").arg(parts[0].trimmed()));
    const auto parity = parseParity(parts[1].trimmed());
    if (!parity)
        return fail(
            error,
            QStringLiteral("invalid parity \"%1\" (N, E, O, M or S)").arg(parts[1].trimmed()));
    const auto data = parseDataBits(parts[2].trimmed());
    if (!data)
        return fail(error,
                    QStringLiteral("invalid data bits \"%1\" (5 to 8)").arg(parts[2].trimmed()));
    const auto stop = parseStopBits(parts[3].trimmed());
    if (!stop)
        return fail(
            error,
            QStringLiteral("invalid stop bits \"%1\" (1, 1.5 or 2)").arg(parts[3].trimmed()));
    return SerialLineSettings{*baud, *parity, *data, *stop};
}

QString SerialLineSettings::toString() const {
    static const char* const stopTexts[] = {"1", "1.5", "2"};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baudRate)
        .arg(parity)
        .arg(dataBits)
        .arg(QLatin1String(stopTexts[static_cast<int>(stopBits)]));
}

QSerialPort::Parity SerialLineSettings::qtParity() const {
    switch (parity.toLatin1()) {
    case 'E':
        return QSerialPort::EvenParity;
    case 'O':
        return QSerialPort::OddParity;
    case 'M':
        return QSerialPort::MarkParity;
    case 'S':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::DataBits SerialLineSettings::qtDataBits() const {
    return static_cast<QSerialPort::DataBits>(dataBits);
}

QSerialPort::StopBits SerialLineSettings::qtStopBits() const {
    return stopBits == Stop::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
}
