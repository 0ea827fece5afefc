#pragma once
// The host of a program without a screen: messages go to stderr, dialogs cannot be reached.

#include "model/Host.h"

class HeadlessHost : public Host {
public:
    void messageBox(const QString& text, const QString& title, MessageIcon icon) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    bool showModal(Form& dialog) override;
    QString fileDialog(const FileDialogRequest& request) override;
    void beep() override {}
    bool openUrl(const QString& url) override;
};
