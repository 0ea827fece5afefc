#pragma once
// The serial settings text "baud,parity,data bits,stop bits" (for example 9600,N,8,1 or
// 115200,E,7,1.5) parsed into its parts.

#include <QSerialPort>
#include <QString>
#include <optional>

struct SerialLineSettings {
    enum class Stop { One, OneAndHalf, Two };

    qint32 baudRate = 9600;
    QChar parity = QLatin1Char('N'); // N, E, O, M or S
    int dataBits = 8;                // 5 to 8
    Stop stopBits = Stop::One;

    // The settings, or nullopt with a readable reason in *error.
    static std::optional<SerialLineSettings> parse(const QString& text, QString* error = nullptr);

    // The canonical text, for example "9600,N,8,1".
    QString toString() const;

    QSerialPort::Parity qtParity() const;
    QSerialPort::DataBits qtDataBits() const;
    // 1.5 stop bits become two: the UART sends 1.5 for 5 data bits when two are asked.
    QSerialPort::StopBits qtStopBits() const;

    bool operator==(const SerialLineSettings&) const = default;
};
