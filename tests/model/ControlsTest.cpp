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
    EXPECT_EQ(QList<bool>({combo.setListIndex(1), combo.setListIndex(1), combo.setListIndex(2),
                           combo.setListIndex(-2)}),
              QList<bool>({true, true, false, false}));
    EXPECT_EQ(std::pair(combo.text(), int(clicks.count())),
              std::pair(QStringLiteral("127.0.0.1"), 2));
    EXPECT_TRUE(combo.setListIndex(-1));
    combo.setText(QStringLiteral("10.0.0.2"));
    EXPECT_EQ(combo.listIndex(), 0);
    combo.setText(QStringLiteral("192.0.2.9"));
    EXPECT_EQ(std::pair(combo.listIndex(), combo.text()),
              std::pair(-1, QStringLiteral("192.0.2.9")));
}

TEST(Controls, CheckBoxValueRangeAndTextBoxChangeOnlyOnRealChange) {
    CheckBox check(QStringLiteral("chkUDP"), nullptr);
    QSignalSpy clicks(&check, &CheckBox::clicked);
    EXPECT_EQ(QList<bool>({check.setValue(5), check.setValue(1)}), QList<bool>({false, true}));
    check.click();
    EXPECT_EQ(std::pair(check.value(), int(clicks.count())), std::pair(0, 2));
    TextBox box(QStringLiteral("PortNumber"), nullptr);
    QSignalSpy changes(&box, &TextBox::textChanged);
    box.setText(QStringLiteral("1000"));
    box.setText(QStringLiteral("1000"));
    EXPECT_EQ(changes.count(), 1);
}
