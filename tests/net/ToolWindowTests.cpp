// Name resolution, and the Ping and Resolve windows: their models with a scripted host and
// their views offscreen.
#include "gui/PingView.h"
#include "gui/ResolveView.h"
#include "net/EchoService.h"
#include "net/frmPing.h"
#include "net/frmResolve.h"
#include "platform/HostResolve.h"
#include "tests/support/ScriptedHost.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

std::optional<QString> resolve(const QString& name) {
    std::optional<QString> result;
    QObject context;
    ResolveHostAddress(name, &context, [&](const QString& address) { result = address; });
    EXPECT_FALSE(result) << "never inside the call";
    waitUntil([&] { return result.has_value(); }, std::chrono::seconds(20));
    return result;
}

// Names and failures go through the windows below.
TEST(ResolveHostAddress, GivesTheIPv4AddressOnlyAndNothingAfterTheContextIsGone) {
    EXPECT_EQ(resolve(QStringLiteral("192.168.1.200")), QStringLiteral("192.168.1.200"));
    EXPECT_EQ(resolve(QStringLiteral("::1")), QString());
    bool called = false;
    auto context = std::make_unique<QObject>();
    ResolveHostAddress(QStringLiteral("localhost"), context.get(),
                       [&](const QString&) { called = true; });
    context.reset();
    ASSERT_TRUE(resolve(QStringLiteral("localhost")).has_value()) << "a later look-up ends";
    EXPECT_FALSE(called);
}

// Started by Return in the view: without a host it asks for one; with one the data goes out cut
// at a character boundary to what one echo takes, and the outcome shows.
TEST(PingWindow, ShowsWhatThePingGave) {
    ScriptedHost host;
    frmPing window(host);
    PingView view(window);
    view.show();
    const QList<QLineEdit*> edits = view.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 7);
    const auto results = [&] {
        QStringList shown;
        for (const QLineEdit* edit : edits.mid(2))
            shown << edit->text();
        return shown;
    };
    QSignalSpy focus(&window, &frmPing::focusRequested);
    QTest::keyClick(edits[0], Qt::Key_Return);
    EXPECT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(focus.value(0).value(0).value<Control*>(), window.Text1);
    QTest::keyClicks(edits[0], "localhost");
    window.Text2->setText(QString(200, QChar(0xe9))); // two bytes each in UTF-8
    QTest::keyClick(edits[0], Qt::Key_Return);
    EXPECT_FALSE(window.Command1->enabled()) << "no second ping while one is out";
    EXPECT_EQ(results(), QStringList(5, QString())) << "boxes emptied first";
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(20)));
    EXPECT_TRUE(window.Command1->enabled());
    const QString roundTrip = edits[4]->text();
    EXPECT_TRUE(roundTrip.endsWith(" ms"));
    EXPECT_EQ(results(),
              EchoService::instance().available()
                  ? QStringList({"0   [IP Success]", "16777343", roundTrip, "248 bytes",
                                 QString(124, QChar(0xe9))})
                  : QStringList({"11050   [IP General Failure]", "0", "0 ms", "0 bytes", ""}));
    EXPECT_EQ(host.messages.size(), 1u);
}

// A name that cannot be resolved leaves the previous address and says which name it was.
TEST(ResolveWindow, ResolvesOrSaysWhichNameItCannotResolve) {
    ScriptedHost host;
    frmResolve window(host);
    ResolveView view(window);
    view.show();
    const QList<QLineEdit*> edits = view.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    QTest::keyClicks(edits[0], "localhost");
    QTest::keyClick(edits[0], Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return edits[1]->text() == "127.0.0.1"; }));
    window.txtHostName->setText("no-such-host.invalid");
    QTest::keyClick(edits[0], Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(20)));
    EXPECT_EQ(edits[1]->text(), "127.0.0.1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Cannot resolve the IP Address for host name: no-such-host.invalid");
}

} // namespace
