#pragma once
// A host for tests: records every message and answers input boxes, dialogs and file dialogs
// from scripts that the test sets up beforehand.

#include "model/Host.h"

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

class ScriptedHost : public Host {
public:
    struct Message {
        QString text;
        QString title;
        MessageIcon icon;
    };

    void messageBox(const QString& text, const QString& title, MessageIcon icon) override;
    bool interactive() const override { return screen; }
    bool question(const QString& text, const QString&) override {
        questions << text;
        return screen && yes;
    }
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    bool showModal(Form& dialog) override;
    QString fileDialog(const FileDialogRequest& request) override;
    void beep() override { ++beeps; }
    bool openUrl(const QString& url) override;

    bool screen = true; // false: as headless, no one sees messages or answers questions
    bool yes = false;   // the answer to every question
    QStringList questions;
    std::vector<Message> messages;
    std::function<void()> onMessage; // runs while the message box is "open"
    QStringList inputPrompts;
    std::deque<std::optional<QString>> inputAnswers; // nullopt = Cancel; empty queue = Cancel
    std::function<void(Form&)> onModal; // acts on the dialog; the host unloads it after
    std::deque<QString> fileAnswers;    // empty queue = cancelled
    std::vector<FileDialogRequest> fileRequests;
    QStringList openedUrls;
    int beeps = 0;
};
