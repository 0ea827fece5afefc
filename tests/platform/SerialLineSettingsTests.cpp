#include "platform/linux/SerialLineSettings.h"

#include <gtest/gtest.h>

namespace {

using Stop = SerialLineSettings::Stop;

struct GoodRow {
    const char* text;
    SerialLineSettings expected;
    const char* canonical;
    QSerialPort::Parity qtParity;
    QSerialPort::StopBits qtStop;
};

const GoodRow goodRows[] = {
    {"9600,N,8,1",
     {9600, QLatin1Char('N'), 8, Stop::One},
     "9600,N,8,1",
     QSerialPort::NoParity,
     QSerialPort::OneStop},
    {"1200,M,7,2",
     {1200, QLatin1Char('M'), 7, Stop::Two},
     "1200,M,7,2",
     QSerialPort::MarkParity,
     QSerialPort::TwoStop},
    {"115200,E,7,1.5",
     {115200, QLatin1Char('E'), 7, Stop::OneAndHalf},
     "115200,E,7,1.5",
     QSerialPort::EvenParity,
     QSerialPort::TwoStop},
    {"300,o,5,1",
     {300, QLatin1Char('O'), 5, Stop::One},
     "300,O,5,1",
     QSerialPort::OddParity,
     QSerialPort::OneStop},
    {" 921600 , s , 6 , 2 ",
     {921600, QLatin1Char('S'), 6, Stop::Two},
     "921600,S,6,2",
     QSerialPort::SpaceParity,
     QSerialPort::TwoStop},
    {"56000,N,8,1",
     {56000, QLatin1Char('N'), 8, Stop::One},
     "56000,N,8,1",
     QSerialPort::NoParity,
     QSerialPort::OneStop},
};

TEST(SerialLineSettings, ParsesWellFormedTexts) {
    for (const GoodRow& row : goodRows) {
        SCOPED_TRACE(row.text);
        const auto parsed = SerialLineSettings::parse(QString::fromLatin1(row.text));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, row.expected);
        EXPECT_EQ(parsed->toString(), QString::fromLatin1(row.canonical));
        EXPECT_EQ(parsed->qtParity(), row.qtParity);
        EXPECT_EQ(parsed->qtStopBits(), row.qtStop);
        EXPECT_EQ(int(parsed->qtDataBits()), row.expected.dataBits);
    }
}

TEST(SerialLineSettings, RefusesMalformedTextsWithAReason) {
    const struct {
        const char* text;
        const char* reasonPart;
    } rows[] = {
        {"", "expected baud,parity"},      {"9600,N,8", "expected baud,parity"},
        {"9600;N;8;1", "expected baud"},   {"fast,N,8,1", "baud rate \"fast\""},
        {"0,N,8,1", "baud rate \"0\""},    {"9600.5,N,8,1", "baud rate"},
        {"9600,,8,1", "parity \"\""},      {"9600,Q,8,1", "parity \"Q\""},
        {"9600,N,9,1", "data bits \"9\""}, {"9600,N,eight,1", "data bits"},
        {"9600,N,8,0", "stop bits \"0\""}, {"9600,N,8,1.0", "stop bits \"1.0\""},
        {"5000000,N,8,1", "baud rate"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        QString why;
        EXPECT_FALSE(SerialLineSettings::parse(QString::fromLatin1(row.text), &why).has_value());
        EXPECT_TRUE(why.contains(QString::fromLatin1(row.reasonPart))) << why.toStdString();
    }
}

} // namespace
