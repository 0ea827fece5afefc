#include "platform/linux/SerialLineSettings.h"

#include <gtest/gtest.h>

namespace {

TEST(SerialLineSettings, ParsesWellFormedTexts) {
    const struct {
        const char* text;
        const char* canonical;
        QSerialPort::Parity qtParity;
        QSerialPort::StopBits qtStop;
    } rows[] = {
        {"9600,N,8,1", "9600,N,8,1", QSerialPort::NoParity, QSerialPort::OneStop},
        {"1200,M,7,2", "1200,M,7,2", QSerialPort::MarkParity, QSerialPort::TwoStop},
        {"115200,E,7,1.5", "115200,E,7,1.5", QSerialPort::EvenParity, QSerialPort::TwoStop},
        {"300,o,5,1", "300,O,5,1", QSerialPort::OddParity, QSerialPort::OneStop},
        {" 921600 , s , 6 , 2 ", "921600,S,6,2", QSerialPort::SpaceParity, QSerialPort::TwoStop},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        const auto parsed = SerialLineSettings::parse(QString::fromLatin1(row.text));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->toString(), QString::fromLatin1(row.canonical));
        EXPECT_EQ(parsed->qtParity(), row.qtParity);
        EXPECT_EQ(parsed->qtStopBits(), row.qtStop);
        EXPECT_EQ(int(parsed->qtDataBits()), parsed->dataBits);
    }
}

TEST(SerialLineSettings, RefusesMalformedTextsWithAReason) {
    const struct {
        const char* text;
        const char* reasonPart;
    } rows[] = {
        {"9600,N,8", "expected baud,parity"}, {"fast,N,8,1", "baud rate \"fast\""},
        {"0,N,8,1", "baud rate \"0\""},       {"5000000,N,8,1", "baud rate"},
        {"9600,Q,8,1", "parity \"Q\""},       {"9600,N,9,1", "data bits \"9\""},
        {"9600,N,8,0", "stop bits \"0\""},    {"9600,N,8,1.0", "stop bits \"1.0\""},
    };
    for (const auto& row : rows) {
        QString why;
        EXPECT_FALSE(SerialLineSettings::parse(QString::fromLatin1(row.text), &why).has_value());
        EXPECT_TRUE(why.contains(QString::fromLatin1(row.reasonPart))) << why.toStdString();
    }
}

} // namespace
