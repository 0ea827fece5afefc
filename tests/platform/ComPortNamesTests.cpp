#include "platform/ComPortNames.h"

#include <gtest/gtest.h>

namespace {

TEST(ComPortNames, ReadsComNumbers) {
    const std::pair<const char*, int> rows[] = {{"com12", 12},   {"COM65535", 65535}, {"COM0", 0},
                                                {"COM65536", 0}, {"COM5x", 0},        {" COM5", 0}};
    for (const auto& [name, number] : rows)
        EXPECT_EQ(comPortNumber(QString::fromLatin1(name)), number) << name;
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex")), 5);
    EXPECT_EQ(comNumberOfMarker(QStringLiteral(".COM5.lumivex~")), 0);
}

} // namespace
