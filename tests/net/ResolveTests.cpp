// Name resolution to a dotted IPv4 address, without blocking.
#include "net/HostResolve.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

std::optional<QString> resolve(const QString& name) {
    std::optional<QString> result;
    QObject context;
    ResolveHostAddress(name, &context, [&](const QString& address) { result = address; });
    EXPECT_FALSE(result) << "never inside the call";
    waitUntil([&] { return result.has_value(); }, std::chrono::seconds(20));
    return result;
}

TEST(ResolveHostAddress, NamesAndAddressesGiveTheFirstIPv4AddressOrNothing) {
    const std::pair<const char*, const char*> rows[] = {
        {"localhost", "127.0.0.1"},
        {"10.1.2.3", "10.1.2.3"},
        {"no-such-host.invalid", ""},
        {"::1", ""}, // IPv6 only
    };
    for (const auto& [name, address] : rows)
        EXPECT_EQ(resolve(QString::fromLatin1(name)), QString::fromLatin1(address)) << name;
}

TEST(ResolveHostAddress, NoResultAfterTheContextIsGone) {
    bool called = false;
    auto context = std::make_unique<QObject>();
    ResolveHostAddress(QStringLiteral("localhost"), context.get(),
                       [&](const QString&) { called = true; });
    context.reset();
    // A second look-up that does end shows the first one had its chance.
    ASSERT_TRUE(resolve(QStringLiteral("localhost")).has_value());
    EXPECT_FALSE(called);
}

} // namespace
