// The Ping and Resolve windows: their models with a scripted host and their views offscreen.
#include "gui/PingView.h"
#include "gui/ResolveView.h"
#include "net/EchoService.h"
#include "net/frmPing.h"
#include "net/frmResolve.h"
#include "tests/net/EchoTestSupport.h"
#include "tests/support/ScriptedHost.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList results(const frmPing& window) {
    QStringList shown;
    for (TextBox* box : window.Text4)
        shown << box->text();
    return shown;
}

TEST(PingWindow, EmptyHostAsksForOneAndSendsNothing) {
    ScriptedHost host;
    frmPing window(host);
    QSignalSpy focus(&window, &frmPing::focusRequested);
    window.Command1->click();
    EXPECT_EQ(host.messages.size(), 1u);
    ASSERT_EQ(focus.size(), 1);
    EXPECT_EQ(focus[0][0].value<Control*>(), window.Text1);
}

TEST(PingWindow, ShowsWhatEachPingGave) {
    const bool echo = EchoService::instance().available();
    const QString longData(300, QLatin1Char('z'));
    const struct {
        QString host;
        QString data;
        QString shownData; // with a reply: the data back, cut to what one reply holds
        bool badHost;
    } rows[] = {{"localhost", QString::fromUtf8("\xc3\xa9t\xc3\xa9"),
                 QString::fromUtf8("\xc3\xa9t\xc3\xa9"), false},
                {"127.0.0.1", longData, longData.left(249), false},
                {"no-such-host.invalid", "x", "", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host.toStdString() + " " + row.data.left(20).toStdString());
        ScriptedHost host;
        frmPing window(host);
        window.Text1->setText(row.host);
        window.Text2->setText(row.data);
        window.Command1->click();
        EXPECT_FALSE(window.Command1->enabled()) << "no second ping while one is out";
        EXPECT_EQ(results(window), QStringList(5, QString())) << "boxes emptied first";
        ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(20)));
        EXPECT_TRUE(window.Command1->enabled());
        const QString roundTrip = window.Text4[2]->text();
        QStringList expected{"11050   [IP General Failure]", "0", "0 ms", "0 bytes", ""};
        if (row.badHost)
            expected[0] = "-1   [Bad IP Format]";
        else if (echo)
            expected = {"0   [IP Success]", "16777343", roundTrip,
                        QString::number(row.shownData.toUtf8().size()) + " bytes", row.shownData};
        EXPECT_TRUE(roundTrip.endsWith(" ms"));
        EXPECT_EQ(results(window), expected);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(ResolveWindow, ResolvesOrSaysWhichNameItCannotResolve) {
    ScriptedHost host;
    frmResolve window(host);
    window.txtIPAddress->setText("127.0.0.1");
    window.txtHostName->setText("no-such-host.invalid");
    window.Command1->click();
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(20)));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Cannot resolve the IP Address for host name: no-such-host.invalid");
    EXPECT_EQ(window.txtIPAddress->text(), "127.0.0.1") << "the previous address stays";
}

QPushButton* buttonShowing(QWidget& view, const QString& text) {
    const auto buttons = view.findChildren<QPushButton*>();
    const auto it = std::find_if(buttons.begin(), buttons.end(),
                                 [&](QPushButton* b) { return b->text() == text; });
    return it == buttons.end() ? nullptr : *it;
}

TEST(ToolViews, TypedInputReachesTheModelAndTheResultShows) {
    ScriptedHost host;
    frmPing ping(host);
    PingView pingView(ping);
    pingView.show();
    const QList<QLineEdit*> edits = pingView.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 7);
    QTest::keyClicks(edits[0], "127.0.0.1");
    QPushButton* pingButton = buttonShowing(pingView, "&Ping");
    ASSERT_NE(pingButton, nullptr);
    pingButton->click();
    ASSERT_TRUE(waitUntil([&] { return pingButton->isEnabled(); }));
    EXPECT_EQ(edits[2]->text(), ping.Text4[0]->text());

    frmResolve resolve(host);
    ResolveView resolveView(resolve);
    resolveView.show();
    const QList<QLineEdit*> resolveEdits = resolveView.findChildren<QLineEdit*>();
    ASSERT_EQ(resolveEdits.size(), 2);
    QTest::keyClicks(resolveEdits[0], "localhost");
    buttonShowing(resolveView, "Resolve IP Address")->click();
    ASSERT_TRUE(waitUntil([&] { return resolveEdits[1]->text() == "127.0.0.1"; }));
}

} // namespace
