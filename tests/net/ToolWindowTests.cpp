// The Ping and Resolve windows: their models with a scripted host, their views offscreen, and
// opening them modally through the Qt host.
#include "gui/NetToolViews.h"
#include "gui/PingView.h"
#include "gui/QtHost.h"
#include "gui/ResolveView.h"
#include "model/HeadlessHost.h"
#include "net/EchoService.h"
#include "net/NetTools.h"
#include "net/frmPing.h"
#include "net/frmResolve.h"
#include "tests/net/EchoTestSupport.h"
#include "tests/support/ScriptedHost.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

QStringList results(const frmPing& window) {
    QStringList shown;
    for (TextBox* box : window.Text4)
        shown << box->text();
    return shown;
}

// What the five boxes show after pinging loopback with data: the reply, or the failure when
// this process can open no echo socket.
QStringList expectedLoopbackResults(const QString& data, const QString& roundTrip) {
    if (!EchoService::instance().available())
        return {"11050   [IP General Failure]", "0", "0 ms", "0 bytes", ""};
    return {"0   [IP Success]", "16777343", roundTrip,
            QString::number(data.toUtf8().size()) + " bytes", data};
}

void pingAndWait(frmPing& window) {
    window.Command1->click();
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(10)));
}

void saveShot(QWidget& view, const char* name) {
    const QString folder = qEnvironmentVariable("LUMIVEX_SHOT_DIR");
    if (!folder.isEmpty())
        view.grab().save(folder + QLatin1Char('/') + QLatin1String(name));
}

TEST(PingWindow, LoadsItsTextsAndStartsEmpty) {
    ScriptedHost host;
    frmPing window(host);
    EXPECT_EQ(window.lblAddress->caption(), "IP Address:");
    EXPECT_EQ(window.Frame1->caption(), "Ping Results:");
    EXPECT_EQ(window.lblResult[4]->caption(), "Data Returned:");
    EXPECT_EQ(window.Command1->caption(), "&Ping");
    EXPECT_EQ(window.Text1->toolTipText(),
              "Enter the IP Address of the computer that you want to ping.");
    EXPECT_EQ(window.Text2->toolTipText(),
              "Enter the data string that you want to ping the computer with.");
    EXPECT_EQ(window.Text1->text(), "");
    EXPECT_EQ(window.Text2->text(), "Testing 123");
    EXPECT_EQ(results(window), QStringList(5, QString()));
}

TEST(PingWindow, EmptyHostAsksForOneAndSendsNothing) {
    ScriptedHost host;
    frmPing window(host);
    window.Text4[0]->setText("kept");
    QSignalSpy focus(&window, &frmPing::focusRequested);
    window.Command1->click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Please enter an IP Address or host name for the computer "
                                     "or device that you want to ping.");
    EXPECT_EQ(host.messages[0].title, "Ping Error - Missing or invalid IP Address");
    ASSERT_EQ(focus.size(), 1);
    EXPECT_EQ(focus[0][0].value<Control*>(), window.Text1);
    EXPECT_FALSE(window.busy());
    EXPECT_EQ(window.Text4[0]->text(), "kept");
}

TEST(PingWindow, ShowsWhatEachPingGave) {
    const struct {
        const char* host;
        const char* data;
    } rows[] = {{"127.0.0.1", "Testing 123"},
                {"localhost", "Testing 123"},
                {"127.0.0.1", ""},
                {"127.0.0.1", "\xc3\xa9t\xc3\xa9"}};
    for (const auto& row : rows) {
        ScriptedHost host;
        frmPing window(host);
        window.Text1->setText(QString::fromUtf8(row.host));
        window.Text2->setText(QString::fromUtf8(row.data));
        window.Command1->click();
        EXPECT_TRUE(window.busy());
        EXPECT_FALSE(window.Command1->enabled());
        EXPECT_EQ(results(window), QStringList(5, QString())) << "boxes emptied first";
        ASSERT_TRUE(waitUntil([&] { return !window.busy(); }));
        EXPECT_TRUE(window.Command1->enabled());
        const QString roundTrip = window.Text4[2]->text();
        EXPECT_TRUE(roundTrip.endsWith(" ms"));
        EXPECT_EQ(results(window), expectedLoopbackResults(QString::fromUtf8(row.data), roundTrip))
            << row.host << " " << row.data;
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(PingWindow, AHostThatDoesNotResolveIsABadAddress) {
    ScriptedHost host;
    frmPing window(host);
    window.Text1->setText("no-such-host.invalid");
    pingAndWait(window);
    EXPECT_EQ(results(window), (QStringList{"-1   [Bad IP Format]", "0", "0 ms", "0 bytes", ""}));
}

TEST(PingWindow, LongDataIsCutToWhatOneReplyHolds) {
    ScriptedHost host;
    frmPing window(host);
    window.Text1->setText("127.0.0.1");
    window.Text2->setText(QString(300, QLatin1Char('z')));
    pingAndWait(window);
    if (EchoService::instance().available()) {
        EXPECT_EQ(window.Text4[3]->text(), "249 bytes");
        EXPECT_EQ(window.Text4[4]->text(), QString(249, QLatin1Char('z')));
    } else {
        EXPECT_EQ(window.Text4[0]->text(), "11050   [IP General Failure]");
    }
}

TEST(ResolveWindow, ResolvesOrSaysWhichNameItCannotResolve) {
    ScriptedHost host;
    frmResolve window(host);
    EXPECT_EQ(window.Label1->caption(), "Resolve IP Address from Host Name:");
    EXPECT_EQ(window.txtHostName->toolTipText(),
              "Enter the Workstation Name or the URL for the computer that you want to find the "
              "IP Address of");
    window.txtHostName->setText("localhost");
    window.Command1->click();
    EXPECT_FALSE(window.Command1->enabled());
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }));
    EXPECT_EQ(window.txtIPAddress->text(), "127.0.0.1");
    EXPECT_TRUE(window.Command1->enabled());

    window.txtHostName->setText("no-such-host.invalid");
    window.Command1->click();
    ASSERT_TRUE(waitUntil([&] { return !window.busy(); }, std::chrono::seconds(20)));
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text,
              "Cannot resolve the IP Address for host name: no-such-host.invalid");
    EXPECT_EQ(window.txtIPAddress->text(), "127.0.0.1") << "the previous address stays";

    window.Command3->click(); // Help... does nothing
    EXPECT_FALSE(window.isUnloaded());
    window.Command4->click();
    EXPECT_TRUE(window.isUnloaded());
}

template <class Widget> Widget* widgetShowing(QWidget& view, const QString& text) {
    for (Widget* w : view.findChildren<Widget*>()) {
        if (w->text() == text)
            return w;
    }
    return nullptr;
}

TEST(PingView, TypedHostPingsThroughTheButtonAndShowsTheResult) {
    ScriptedHost host;
    frmPing window(host);
    PingView view(window);
    view.show();
    const QList<QLineEdit*> edits = view.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 7);
    QLineEdit* hostEdit = edits[0];
    QTest::keyClicks(hostEdit, "127.0.0.1");
    EXPECT_EQ(window.Text1->text(), "127.0.0.1");
    EXPECT_TRUE(edits[2]->isReadOnly());
    QPushButton* ping = widgetShowing<QPushButton>(view, "&Ping");
    ASSERT_NE(ping, nullptr);
    EXPECT_TRUE(ping->isDefault());
    ping->click();
    EXPECT_FALSE(ping->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return ping->isEnabled(); }));
    EXPECT_EQ(edits[2]->text(), window.Text4[0]->text());
    EXPECT_FALSE(edits[2]->text().isEmpty());
    EXPECT_NE(widgetShowing<QLabel>(view, "Round Trip Time:"), nullptr);
    saveShot(view, "ping.png");

    hostEdit->selectAll();
    QTest::keyClick(hostEdit, Qt::Key_Backspace);
    ping->click();
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST(ResolveView, ShowsTheModelAndItsResult) {
    ScriptedHost host;
    frmResolve window(host);
    ResolveView view(window);
    view.show();
    const QList<QLineEdit*> edits = view.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 2);
    QTest::keyClicks(edits[0], "localhost");
    QPushButton* resolve = widgetShowing<QPushButton>(view, "Resolve IP Address");
    ASSERT_NE(resolve, nullptr);
    resolve->click();
    ASSERT_TRUE(waitUntil([&] { return edits[1]->text() == "127.0.0.1"; }));
    EXPECT_TRUE(resolve->isEnabled());
    saveShot(view, "resolve.png");
}

TEST(NetTools, OpenModallyThroughTheQtHostAndCloseWithCancel) {
    QtHost host;
    registerNetToolViews(host);
    const std::pair<void (*)(Host&), QString> tools[] = {{&showPingTool, "&Cancel"},
                                                         {&showResolveTool, "Cancel"}};
    for (const auto& [show, cancelText] : tools) {
        bool sawDialog = false;
        QTimer::singleShot(0, [&, text = cancelText] {
            QWidget* modal = QApplication::activeModalWidget();
            sawDialog = modal != nullptr;
            if (QPushButton* cancel = modal ? widgetShowing<QPushButton>(*modal, text) : nullptr)
                cancel->click();
            else if (modal)
                modal->close();
        });
        show(host); // returns once Cancel has unloaded the window
        EXPECT_TRUE(sawDialog);
    }
    HeadlessHost headless;
    showPingTool(headless); // no screen: returns at once
    showResolveTool(headless);
}

} // namespace
