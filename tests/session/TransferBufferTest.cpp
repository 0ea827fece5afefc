#include "session/TransferBuffer.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(TransferBuffer, AppendStoresWhatFitsAndTakeGivesFromTheFront) {
    TransferBuffer buffer;
    buffer.reset(1024);
    EXPECT_EQ(buffer.append(QByteArray(1020, 'a')), 1020);
    EXPECT_EQ(buffer.append(QByteArray(10, 'b')), 4);
    EXPECT_EQ(buffer.count(), 1024);
    EXPECT_EQ(buffer.append(QByteArray(1, 'c')), 0);

    buffer.reset(1024);
    buffer.append(QByteArray("\x41\x42\x43\x44\x45"));
    int n = 0;
    EXPECT_TRUE(buffer.take(n).isEmpty()) << "taking 0 changes nothing";
    EXPECT_EQ(buffer.count(), 5);
    n = 3;
    EXPECT_EQ(buffer.take(n), QByteArray("ABC"));
    EXPECT_EQ(n, 3);
    n = 100;
    EXPECT_EQ(buffer.take(n), QByteArray("DE"));
    EXPECT_EQ(n, 2);
    n = -1;
    EXPECT_TRUE(buffer.take(n).isEmpty());
    EXPECT_EQ(n, 0);

    buffer.append(QByteArray("1234567"));
    n = -1;
    EXPECT_EQ(buffer.take(n), QByteArray("1234567"));
    EXPECT_EQ(n, 7);
    EXPECT_TRUE(buffer.isEmpty());
}

// Appends and takes of every size, wrapping around the storage, against a plain model.
TEST(TransferBuffer, KeepsOrderAcrossTheWrap) {
    TransferBuffer buffer;
    buffer.reset(97);
    QByteArray model;
    std::mt19937 random(7);
    char next = 0;
    for (int round = 0; round < 5000; ++round) {
        QByteArray offered(int(random() % 60), Qt::Uninitialized);
        for (char& c : offered)
            c = next++;
        const int stored = buffer.append(offered);
        ASSERT_EQ(stored, std::min<int>(offered.size(), 97 - model.size()));
        model += offered.left(stored);
        next = char(next - (offered.size() - stored));
        int n = int(random() % 50);
        ASSERT_EQ(buffer.peek(n), model.left(n));
        const QByteArray taken = buffer.take(n);
        ASSERT_EQ(taken, model.left(n));
        model.remove(0, n);
        ASSERT_EQ(buffer.count(), model.size());
    }
}

} // namespace
