#include "model/Controls.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(ComboBox, RefusesAnIndexOutsideTheListAndKeepsItsSelection) {
    ComboBox combo(QStringLiteral("Combo1"), nullptr);
    combo.setItems({"a", "b", "c"});
    ASSERT_TRUE(combo.setListIndex(1));
    QSignalSpy clicks(&combo, &ComboBox::clicked);
    EXPECT_FALSE(combo.setListIndex(3));
    EXPECT_FALSE(combo.setListIndex(-2));
    EXPECT_EQ(combo.listIndex(), 1);
    EXPECT_EQ(combo.text(), QStringLiteral("b"));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_TRUE(combo.setListIndex(-1));
    EXPECT_EQ(combo.listIndex(), -1);
}

TEST(ComboBox, SettingTheIndexFromCodeRaisesTheClickLikeAUser) {
    ComboBox combo(QStringLiteral("Combo2"), nullptr);
    combo.setItems({"None", "COM1"});
    QSignalSpy clicks(&combo, &ComboBox::clicked);
    combo.setListIndex(1);
    combo.setListIndex(1); // the same index again still clicks
    EXPECT_EQ(clicks.count(), 2);
}

TEST(ComboBox, EditableTextSelectsAMatchingItem) {
    ComboBox combo(QStringLiteral("LocalIP"), nullptr);
    combo.setEditable(true);
    combo.setItems({"10.0.0.2", "127.0.0.1"});
    combo.setText(QStringLiteral("127.0.0.1"));
    EXPECT_EQ(combo.listIndex(), 1);
    combo.setText(QStringLiteral("192.0.2.9"));
    EXPECT_EQ(combo.listIndex(), -1);
    EXPECT_EQ(combo.text(), QStringLiteral("192.0.2.9"));
}

TEST(CheckBox, ValueRangeAndClick) {
    CheckBox check(QStringLiteral("chkUDP"), nullptr);
    QSignalSpy clicks(&check, &CheckBox::clicked);
    EXPECT_FALSE(check.setValue(5));
    EXPECT_EQ(check.value(), 0);
    EXPECT_TRUE(check.setValue(1));
    EXPECT_EQ(clicks.count(), 1);
    check.click();
    EXPECT_EQ(check.value(), 0);
    EXPECT_EQ(clicks.count(), 2);
}

TEST(OptionButton, OneOfAGroupIsOn) {
    OptionButton client(QStringLiteral("TCPOption"), nullptr, 0);
    OptionButton server(QStringLiteral("TCPOption"), nullptr, 1);
    OptionButton::group({&client, &server});
    QSignalSpy serverClicks(&server, &OptionButton::clicked);
    QSignalSpy clientClicks(&client, &OptionButton::clicked);
    client.setValue(true);
    server.click();
    EXPECT_FALSE(client.value());
    EXPECT_TRUE(server.value());
    EXPECT_EQ(serverClicks.count(), 1);
    EXPECT_EQ(clientClicks.count(), 1);
}

TEST(TextBox, ChangeEventOnlyOnRealChange) {
    TextBox box(QStringLiteral("PortNumber"), nullptr);
    QSignalSpy changes(&box, &TextBox::textChanged);
    box.setText(QStringLiteral("1000"));
    box.setText(QStringLiteral("1000"));
    EXPECT_EQ(changes.count(), 1);
}
