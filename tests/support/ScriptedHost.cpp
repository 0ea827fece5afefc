#include "tests/support/ScriptedHost.h"

#include "model/Form.h"

void ScriptedHost::messageBox(const QString& text, const QString& title, MessageIcon icon) {
    messages.push_back({text, title, icon});
    if (onMessage)
        onMessage();
}

std::optional<QString> ScriptedHost::inputBox(const QString& prompt, const QString&,
                                              const QString&) {
    inputPrompts << prompt;
    if (inputAnswers.empty())
        return std::nullopt;
    const std::optional<QString> answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

bool ScriptedHost::showModal(Form& dialog) {
    if (onModal)
        onModal(dialog);
    dialog.unload();
    return true;
}

QString ScriptedHost::fileDialog(const FileDialogRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

bool ScriptedHost::openUrl(const QString& url) {
    openedUrls << url;
    return true;
}
