#pragma once
// The host of the windowed program: Qt message boxes, input boxes, file dialogs and modal
// dialog views. A dialog model is shown by the view registered for its form name.

#include "model/Host.h"

#include <QString>
#include <functional>
#include <map>

class QDialog;
class QWidget;

class QtHost : public Host {
public:
    using DialogFactory = std::function<QDialog*(Form& model, QWidget* parent)>;

    // Owner of the boxes and dialogs (the main window), may change over time.
    void setParentWidget(QWidget* parent) { parent_ = parent; }
    void registerDialog(const QString& formName, DialogFactory factory);

    void messageBox(const QString& text, const QString& title, MessageIcon icon) override;
    bool interactive() const override { return true; }
    bool question(const QString& text, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    bool showModal(Form& dialog) override;
    QString fileDialog(const FileDialogRequest& request) override;
    void beep() override;
    bool openUrl(const QString& url) override;
    void closeModals() override;

    // "Name (*.x)|*.x|All (*.*)|*.*" as a Qt filter list "Name (*.x);;All (*.*)".
    static QString qtFilter(const QString& classicFilter);

private:
    QWidget* parent_ = nullptr;
    std::map<QString, DialogFactory> dialogs_;
};
