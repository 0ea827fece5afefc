#include "gui/DialogViews.h"

#include "app/Form1.h"
#include "app/Form2.h"
#include "app/frmAbout.h"
#include "app/frmOptions.h"
#include "gui/QtHost.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"

#include <QDialog>

namespace {

// Registers make for the windows named name whose model is an M.
template <class M>
void registerView(QtHost& host, const char* name, QDialog* (*make)(M&, QWidget*)) {
    host.registerDialog(QString::fromLatin1(name), [make](Form& model, QWidget* parent) {
        auto* typed = qobject_cast<M*>(&model);
        return typed ? make(*typed, parent) : nullptr;
    });
}

} // namespace

void registerDialogViews(QtHost& host) {
    registerView(host, "frmOptions", &makeOptionsView);
    registerView(host, "Form1", &makeSetPasswordView);
    registerView(host, "Form2", &makeEnterPasswordView);
    registerView(host, "frmServerOptions", &makeServerOptionsView);
    registerView(host, "frmClientOptions", &makeClientOptionsView);
    registerView(host, "frmLogin", &makeLoginView);
    registerView(host, "frmAbout", &makeAboutView);
}
