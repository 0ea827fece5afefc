#pragma once
// What a window model needs from the outside world: modal dialogs, message and input boxes,
// file dialogs, a beep, opening a URL. The GUI implements it with Qt dialogs, the headless
// mode without a screen, and tests with scripted answers.

#include <QString>
#include <optional>

class Form;

enum class MessageIcon { None, Critical, Exclamation, Information };

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    // Filter in the classic form "Lumivex Files (*.LVX)|*.lvx|All Files (*.*)|*.*".
    QString filter;
    QString defaultExtension;
    bool fileMustExist = false;
};

class Host {
public:
    virtual ~Host() = default;

    // A message box with only an OK button; returns when it is closed.
    virtual void messageBox(const QString& text, const QString& title,
                            MessageIcon icon = MessageIcon::None) = 0;
    // Whether a person sees the message boxes and can answer questions (there is a screen).
    virtual bool interactive() const { return false; }
    // A message box with Yes and No buttons; true for Yes. Nobody answers Yes without a screen.
    virtual bool question(const QString& /*text*/, const QString& /*title*/) { return false; }
    // An input box; nullopt when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    // Shows dialog modally and returns when it has unloaded itself. Returns false when this
    // host cannot show it (headless): the dialog is then unloaded without any choice.
    virtual bool showModal(Form& dialog) = 0;
    // The chosen file, or an empty string when cancelled.
    virtual QString fileDialog(const FileDialogRequest& request) = 0;
    virtual void beep() = 0;
    virtual bool openUrl(const QString& url) = 0;
    // Closes every open modal dialog as its window frame would (the program is ending).
    virtual void closeModals() {}
};
