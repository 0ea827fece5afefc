#include "session/SessionCommand.h"

#include "model/Val.h"
#include "platform/SerialPort.h"
#include "session/frmDocument.h"
#include "text/StringTable.h"

#include <array>
#include <cmath>

namespace {

constexpr int kTextActivate = 5087;
const QString kSettingsPrefix = QStringLiteral("[COMSETTINGS=");

constexpr std::array<long, 16> kBaudRates{110,    300,    600,    1200,  2400,  4800,
                                          9600,   14400,  19200,  28800, 38400, 57600,
                                          115200, 230400, 460800, 921600};

// Parity words in the order of the session window's parity list: None, Even, Odd, Mark, Space.
struct ParityWord {
    const char* word;
    const char* letter;
};
constexpr std::array<ParityWord, 5> kParities{
    {{"NONE", "N"}, {"EVEN", "E"}, {"ODD", "O"}, {"MARK", "M"}, {"SPACE", "S"}}};

// The serial settings string carries the parity as one letter of this, by list entry.
constexpr char kParityLetters[] = "NEOMS";

const QStringList kDataBits{QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"),
                            QStringLiteral("8")};
const QStringList kStopBits{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")};

QString trimSpaces(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' '))
        ++first;
    while (last > first && text[last - 1] == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

int baudEntry(const QString& field) {
    // The leading number, rounded half to even as a whole-number conversion does.
    const double value = std::nearbyint(Val(field));
    for (size_t i = 0; i < kBaudRates.size(); ++i) {
        if (value == static_cast<double>(kBaudRates[i]))
            return static_cast<int>(i);
    }
    return -1;
}

int parityEntry(const QString& word) {
    for (size_t i = 0; i < kParities.size(); ++i) {
        if (word == QLatin1String(kParities[i].word) || word == QLatin1String(kParities[i].letter))
            return static_cast<int>(i);
    }
    return -1;
}

// Takes the text before the next comma out of rest; false when no comma is left.
bool takeField(QString& rest, QString& field) {
    const qsizetype comma = rest.indexOf(QLatin1Char(','));
    if (comma < 0)
        return false;
    field = rest.left(comma);
    rest = rest.mid(comma + 1);
    return true;
}

// Fields are read one by one; a field missing its comma ends the reading, a field with an
// unknown value is skipped. The parity word is deliberately not trimmed (" N" matches nothing)
// and data bits count only when a comma follows them.
void parseSettingsFields(QString rest, SessionCommand& result) {
    rest.remove(QLatin1Char(']'));
    QString field;
    if (!takeField(rest, field))
        return;
    result.baud = baudEntry(field);
    if (!takeField(rest, field))
        return;
    result.parity = parityEntry(field);
    if (!takeField(rest, field))
        return;
    result.dataBits = static_cast<int>(kDataBits.indexOf(trimSpaces(field)));
    rest = trimSpaces(rest);
    if (!rest.isEmpty())
        result.stopBits = static_cast<int>(kStopBits.indexOf(rest));
}

void selectEntry(ComboBox* list, int entry) {
    if (entry >= 0)
        list->setListIndex(entry);
}

QString settingsFromLists(const frmDocument& session) {
    const int parity = session.Combo1[1]->listIndex();
    const QChar letter =
        parity >= 0 && parity < 5 ? QLatin1Char(kParityLetters[parity]) : QLatin1Char('N');
    return session.Combo1[0]->text() + QLatin1Char(',') + letter + QLatin1Char(',') +
           session.Combo1[2]->text() + QLatin1Char(',') + session.Combo1[3]->text();
}

} // namespace

QString normalizeCommand(const QString& command) {
    return trimSpaces(command.toUpper());
}

SessionCommand SessionCommand::parse(const QString& command) {
    const QString text = normalizeCommand(command);
    SessionCommand result;
    if (text == QLatin1String("[ACTIVATE]")) {
        result.kind = Kind::Activate;
    } else if (text == QLatin1String("[DEACTIVATE]")) {
        result.kind = Kind::Deactivate;
    } else if (text.startsWith(kSettingsPrefix)) {
        result.kind = Kind::ComSettings;
        parseSettingsFields(text.mid(kSettingsPrefix.size()), result);
    }
    return result;
}

bool isAppExitCommand(const QString& command) {
    return normalizeCommand(command) == QLatin1String("[APPEXIT]");
}

bool executeSessionCommand(frmDocument& session, const QString& command) {
    const SessionCommand parsed = SessionCommand::parse(command);
    switch (parsed.kind) {
    case SessionCommand::Kind::Activate:
        if (session.Command1->caption() != LoadResString(kTextActivate))
            return false;
        session.Command1_Click();
        return true;
    case SessionCommand::Kind::Deactivate:
        if (!session.isActive())
            return false;
        session.Command1_Click();
        return true;
    case SessionCommand::Kind::ComSettings:
        selectEntry(session.Combo1[0], parsed.baud);
        selectEntry(session.Combo1[1], parsed.parity);
        selectEntry(session.Combo1[2], parsed.dataBits);
        selectEntry(session.Combo1[3], parsed.stopBits);
        // A text the port refuses changes nothing there; the lists keep the new selection.
        session.setLineSettings(settingsFromLists(session));
        return true;
    case SessionCommand::Kind::Unknown:
        break;
    }
    return false;
}
