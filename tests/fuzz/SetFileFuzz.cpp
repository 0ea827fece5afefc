// A set file of any content loaded into the window models: nothing breaks, the number of
// session windows follows NumSessions within its bounds, and what is saved from the loaded
// windows restores the same windows and settings, and saves again as the same file.

#include "app/IniFile.h"
#include "app/frmMain.h"
#include "model/GlobalSettings.h"
#include "model/HeadlessHost.h"
#include "model/TrayIcon.h"
#include "tests/fuzz/FuzzSupport.h"

#include <QFile>
#include <QVariant>

#include <algorithm>

namespace {

constexpr int kMaxSessions = 1024;
constexpr int kMostSessionsTried = 8;
const QString kGlobal = QStringLiteral("Lumivex");

// Fields of a setting as one text, '|' between (a double's as QString::number writes it).
QString fields(std::initializer_list<QVariant> values) {
    QStringList texts;
    for (const QVariant& value : values)
        texts << (value.typeId() == QMetaType::Double ? QString::number(value.toDouble())
                                                      : value.toString());
    return texts.join(u'|');
}

QString controlState(const Control& c) {
    QString state = fields({c.name(), c.index(), c.tag(), c.enabled(), c.visible()});
    if (const auto* captioned = dynamic_cast<const CaptionControl*>(&c))
        state += u'|' + captioned->caption();
    if (const auto* check = dynamic_cast<const CheckBox*>(&c))
        state += u'|' + QString::number(check->value());
    if (const auto* option = dynamic_cast<const OptionButton*>(&c))
        state += u'|' + QString::number(option->value());
    if (const auto* text = dynamic_cast<const TextBox*>(&c))
        state += u'|' + text->text();
    if (const auto* list = dynamic_cast<const ComboBox*>(&c))
        state += u'|' + fields({list->listIndex(), list->text()});
    return state;
}

// Everything a set file restores, one line a setting. A minimized window's place is not
// saved, so only its state.
QStringList windowsState(const frmMain& main) {
    const GlobalSettings& g = globals();
    QStringList state{main.WindowState == 1 ? QStringLiteral("minimized")
                                            : fields({main.Left, main.Top, main.Width, main.Height,
                                                      main.WindowState}),
                      fields({g.OnErrorRunApp, g.Password, g.LogErrors, g.PingEnabled,
                              g.PingFrequency, g.PingTimeout, g.PacketSize, g.LoadWithWindows})};
    for (const frmDocument* doc : main.documents()) {
        const IoOptions& o = doc->ioOptions();
        state << doc->caption()
              << fields({o.AllowMultiConnect, o.ServerSerialOptions, o.ServerTCPOptions,
                         o.ClientOptions, o.ConnectOnVirtualOpen, o.UserPrompt,
                         o.UserPromptResponse, o.PasswordPrompt, o.PasswordPromptResponse});
        for (const Control* c : doc->controls())
            state << controlState(*c);
    }
    return state;
}

// Saves the windows to a new file and returns what it holds.
QByteArray saved(frmMain& main, const QString& name) {
    const QString path = fuzzPath(name);
    QFile::remove(path);
    FUZZ_CHECK(main.writeprofilesettings(path));
    return readFileBytes(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const OpenDescriptors descriptorsBefore = openDescriptors();
    const QString input = fuzzPath(QStringLiteral("set/input.lvx"));
    writeFileBytes(input, inputBytes(data, size));
    const IniFile file(input);
    // The program in OnErrorRunApp starts with the first status caption of every new session:
    // what the fuzzer makes up must not run. Such inputs are left out.
    if (!file.readString(kGlobal, QStringLiteral("OnErrorRunApp"), {}).isEmpty())
        return -1;
    const int stored = file.readInt(kGlobal, QStringLiteral("NumSessions"), 0);
    // Every session is a whole window (its connector list alone has 1025 entries): beyond a
    // few they add time, not paths. The bound of the count has its own unit test.
    if (stored > kMostSessionsTried)
        return -1;
    HeadlessHost host;
    NoTrayIcon tray;
    QStringList loaded;
    QByteArray first;
    {
        frmMain main(MainServices{host, tray});
        main.getprofilesettings(input);
        FUZZ_CHECK(main.documents().size() ==
                   static_cast<size_t>(stored <= 0 ? 1 : std::min(stored, kMaxSessions)));
        loaded = windowsState(main);
        first = saved(main, QStringLiteral("set/first.lvx"));
    }
    {
        frmMain main(MainServices{host, tray});
        main.getprofilesettings(fuzzPath(QStringLiteral("set/first.lvx")));
        const QStringList restored = windowsState(main);
        if (restored != loaded) // for the report
            std::fprintf(stderr, "read:\n%s\nre-read:\n%s\n", qPrintable(loaded.join(u'\n')),
                         qPrintable(restored.join(u'\n')));
        FUZZ_CHECK(restored == loaded);
        FUZZ_CHECK(saved(main, QStringLiteral("set/second.lvx")) == first);
    }
    checkNoDescriptorLeft(descriptorsBefore);
    QFile::remove(fuzzFolder() + QStringLiteral("/home/errorlog.txt")); // LogErrors=1 fills it
    return 0;
}
