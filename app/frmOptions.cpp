#include "app/frmOptions.h"

#include "model/Designed.h"
#include "model/GlobalSettings.h"
#include "model/Host.h"
#include "model/Val.h"
#include "text/LoadResource.h"

#include <cmath>

namespace {

constexpr int kDefaultPacketSize = 2000;
constexpr int kMaxPacketSize = 10000;
constexpr int kPingTimeouts = 20;

const QStringList kPacketSizes{"50", "100", "200", "500", "1000", "2000", "4000"};
const QStringList kPingFrequencies{".5 Second",  "1 Second",   "5 Seconds",  "10 Seconds",
                                   "15 Seconds", "20 Seconds", "25 Seconds", "30 Seconds",
                                   "35 Seconds", "40 Seconds", "45 Seconds", "50 Seconds",
                                   "55 Seconds", "60 Seconds"};

QStringList pingTimeouts() {
    QStringList items;
    for (int i = 1; i <= kPingTimeouts; ++i)
        items << QStringLiteral("%1 ms").arg(i * 100);
    return items;
}

} // namespace

frmOptions::frmOptions(Host& host, QObject* parent)
    : Form(QStringLiteral("frmOptions"), parent)
    , host_(host) {
    createControls();
    connect(Command1, &Button::clicked, this, &frmOptions::Command1_Click);
    connect(Command2, &Button::clicked, this, &frmOptions::Command2_Click);
    connect(Command3, &Button::clicked, this, &frmOptions::Command3_Click);
    Form_Load();
}

void frmOptions::createControls() {
    setCaption(QStringLiteral("Options"));
    setTag(QStringLiteral("5029"));
    const auto caption = [this](auto* control, const char* text, int id) {
        return designed(control, QString::fromLatin1(text), id);
    };
    Frame1 = caption(add<Frame>(QStringLiteral("Frame1")), "Run external program", 5033);
    Label1 = caption(add<Label>(QStringLiteral("Label1")), "Command Line:", 5034);
    Text1 = add<TextBox>(QStringLiteral("Text1"));
    Command1 = caption(add<Button>(QStringLiteral("Command1")), "Browse...", 5035);
    Check1 = caption(add<CheckBox>(QStringLiteral("Check1")), "Log all errors", 5032);
    Label2 = caption(add<Label>(QStringLiteral("Label2")), "Max bytes per packet:", 5030);
    Combo1 = add<ComboBox>(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    chkLoadWithWindows =
        caption(add<CheckBox>(QStringLiteral("chkLoadWithWindows")), "Load at startup", 5031);
    Frame2 = caption(add<Frame>(QStringLiteral("Frame2")), "Ping remote addresses", 5036);
    Check2 = caption(add<CheckBox>(QStringLiteral("Check2")), "Enable remote pings", 5037);
    Label3 = caption(add<Label>(QStringLiteral("Label3")), "Ping frequency:", 5038);
    Combo2 = add<ComboBox>(QStringLiteral("Combo2"));
    Label4 = caption(add<Label>(QStringLiteral("Label4")), "Ping Timeout:", 5039);
    Combo3 = add<ComboBox>(QStringLiteral("Combo3"));
    Command2 = caption(add<Button>(QStringLiteral("Command2")), "OK", 1207);
    Command3 = caption(add<Button>(QStringLiteral("Command3")), "Cancel", 1208);
}

void frmOptions::Form_Load() {
    LoadResource(*this);
    const GlobalSettings& g = globals();
    Text1->setText(g.OnErrorRunApp);
    Check1->setValue(g.LogErrors);
    Combo1->setItems(kPacketSizes);
    Combo1->setText(QString::number(g.PacketSize));
    Combo2->setItems(kPingFrequencies);
    Combo2->setListIndex(g.PingFrequency);
    Combo3->setItems(pingTimeouts());
    Combo3->setListIndex(g.PingTimeout);
    Check2->setValue(g.PingEnabled);
    chkLoadWithWindows->setValue(g.LoadWithWindows);
}

void frmOptions::Command1_Click() {
    FileDialogRequest request;
    request.filter = QStringLiteral("Programs (*.EXE)|*.EXE|All Files (*.*)|*.*");
    request.fileMustExist = true;
    const QString file = host_.fileDialog(request);
    if (!file.isEmpty())
        Text1->setText(file);
}

int frmOptions::packetSizeOf(const QString& text) {
    // Compared before it becomes an int, so a huge number cannot wrap into the range.
    const double value = std::nearbyint(Val(text));
    if (value < 1 || value > kMaxPacketSize)
        return kDefaultPacketSize;
    return static_cast<int>(value);
}

void frmOptions::Command2_Click() {
    GlobalSettings& g = globals();
    g.OnErrorRunApp = Text1->text();
    g.LogErrors = Check1->value();
    g.PacketSize = packetSizeOf(Combo1->text());
    g.PingEnabled = Check2->value();
    // A list with nothing selected (a stored index beyond the list) keeps the value it had.
    if (Combo2->listIndex() >= 0)
        g.PingFrequency = Combo2->listIndex();
    if (Combo3->listIndex() >= 0)
        g.PingTimeout = Combo3->listIndex();
    g.LoadWithWindows = chkLoadWithWindows->value();
    unload();
}

void frmOptions::Command3_Click() {
    unload();
}
