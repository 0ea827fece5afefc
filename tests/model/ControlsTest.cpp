#include "model/Controls.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

// An index set from code clicks like a user, even the same one again; one outside the list is
// refused and keeps the selection; editable text selects a matching item.
TEST(ComboBox, IndexAndTextSelection) {
    ComboBox combo(QStringLiteral("LocalIP"), nullptr);
    combo.setEditable(true);
    combo.setItems({"10.0.0.2", "127.0.0.1"});
    QSignalSpy clicks(&combo, &ComboBox::clicked);
    ASSERT_TRUE(combo.setListIndex(1));
    ASSERT_TRUE(combo.setListIndex(1));
    EXPECT_FALSE(combo.setListIndex(2));
    EXPECT_FALSE(combo.setListIndex(-2));
    EXPECT_EQ(combo.text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_TRUE(combo.setListIndex(-1));
    combo.setText(QStringLiteral("10.0.0.2"));
    EXPECT_EQ(combo.listIndex(), 0);
    combo.setText(QStringLiteral("192.0.2.9"));
    EXPECT_EQ(combo.listIndex(), -1);
    EXPECT_EQ(combo.text(), QStringLiteral("192.0.2.9"));
}

TEST(Controls, CheckBoxValueRangeAndTextBoxChangeOnlyOnRealChange) {
    CheckBox check(QStringLiteral("chkUDP"), nullptr);
    QSignalSpy clicks(&check, &CheckBox::clicked);
    EXPECT_FALSE(check.setValue(5));
    EXPECT_TRUE(check.setValue(1));
    check.click();
    EXPECT_EQ(check.value(), 0);
    EXPECT_EQ(clicks.count(), 2);

    TextBox box(QStringLiteral("PortNumber"), nullptr);
    QSignalSpy changes(&box, &TextBox::textChanged);
    box.setText(QStringLiteral("1000"));
    box.setText(QStringLiteral("1000"));
    EXPECT_EQ(changes.count(), 1);
}
