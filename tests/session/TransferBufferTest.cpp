#include "session/TransferBuffer.h"

#include <gtest/gtest.h>
#include <random>

namespace {

// Appends and takes of every size (a negative take means all), wrapping around the storage,
// against a plain model: nothing beyond the capacity is stored, nothing is lost or reordered.
TEST(TransferBuffer, KeepsItsBoundAndOrderAcrossTheWrap) {
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
        int n = int(random() % 51) - 1;
        const int expected = n < 0 ? int(model.size()) : std::min<int>(n, model.size());
        ASSERT_EQ(buffer.peek(expected), model.left(expected));
        ASSERT_EQ(buffer.take(n), model.left(expected));
        ASSERT_EQ(n, expected);
        model.remove(0, n);
        ASSERT_EQ(buffer.count(), model.size());
    }
}

} // namespace
