#include "net/frmPing.h"

#include "model/Designed.h"
#include "model/Host.h"
#include "net/EchoReply.h"
#include "net/EchoStatus.h"
#include "net/PingCode.h"
#include "platform/HostResolve.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

namespace {

// The echo data as bytes, cut at a character boundary so that it fits one request.
QByteArray echoData(const QString& text) {
    QByteArray data = text.toUtf8();
    if (data.size() <= frmPing::kMaxEchoData)
        return data;
    QString cut = text;
    while (cut.toUtf8().size() > frmPing::kMaxEchoData)
        cut.chop(1);
    return cut.toUtf8();
}

} // namespace

frmPing::frmPing(Host& host, QObject* parent)
    : Form(QStringLiteral("frmPing"), parent)
    , host_(host) {
    setCaption(QStringLiteral("Ping IP Address"));
    createControls();
    connect(Command1, &Button::clicked, this, &frmPing::Command1_Click);
    connect(Command3, &Button::clicked, this, &frmPing::Command3_Click);
    Form_Load();
}

void frmPing::createControls() {
    lblAddress =
        designed(add<Label>(QStringLiteral("Label1")), QStringLiteral("IP Address:"), 5041);
    Text1 = add<TextBox>(QStringLiteral("Text1"));
    lblData = designed(add<Label>(QStringLiteral("Label2")), QStringLiteral("Echo Data:"), 5042);
    Text2 = add<TextBox>(QStringLiteral("Text2"));
    Text2->setMaxLength(kMaxEchoData);
    Text2->setText(QStringLiteral("Testing 123"));
    Frame1 = designed(add<Frame>(QStringLiteral("Frame1")), QStringLiteral("Ping Results:"), 5043);
    const std::array<const char*, 5> captions{
        "Return Status:", "Address (dec):", "Round Trip Time:", "Data Packet Size:",
        "Data Returned:"};
    for (int i = 0; i < 5; ++i) {
        lblResult[i] = designed(addArrayItem<Label>(QStringLiteral("Label3"), i),
                                QString::fromLatin1(captions[i]), 5044 + i);
        Text4[i] = addArrayItem<TextBox>(QStringLiteral("Text4"), i);
    }
    Command1 = designed(add<Button>(QStringLiteral("Command1")), QStringLiteral("&Ping"), 5049);
    Command3 = designed(add<Button>(QStringLiteral("Command3")), QStringLiteral("&Cancel"), 5050);
}

void frmPing::Form_Load() {
    LoadResource(*this);
    Text1->setToolTipText(LoadResString(5122));
    Text2->setToolTipText(LoadResString(5123));
}

void frmPing::setBusy(bool busy) {
    busy_ = busy;
    Command1->setEnabled(!busy);
}

void frmPing::Command1_Click() {
    if (busy_)
        return;
    if (Text1->text().isEmpty()) {
        host_.messageBox(LoadResString(5112), LoadResString(5113));
        emit focusRequested(Text1);
        return;
    }
    if (!NetStartup()) {
        host_.messageBox(LoadResString(5114), QString());
        return;
    }
    for (TextBox* box : Text4)
        box->setText(QString());
    setBusy(true);
    const QByteArray data = echoData(Text2->text());
    ResolveHostAddress(Text1->text(), this, [this, data](const QString& address) {
        PingHost(address, data, this, [this](const EchoReply& reply) {
            showReply(reply);
            NetCleanup();
            setBusy(false);
            emit pingFinished();
        });
    });
}

void frmPing::showReply(const EchoReply& reply) {
    Text4[0]->setText(PingStatusText(reply.status));
    Text4[1]->setText(QString::number(wireOrderAddressValue(reply.address)));
    Text4[2]->setText(QString::number(reply.roundTripTime) + QStringLiteral(" ms"));
    Text4[3]->setText(QString::number(reply.dataSize) + QStringLiteral(" bytes"));
    const qsizetype end = reply.data.indexOf('\0');
    const QByteArray data = end < 0 ? reply.data : reply.data.left(end);
    if (!data.isEmpty())
        Text4[4]->setText(QString::fromUtf8(data));
}

void frmPing::Command3_Click() {
    unload();
}
