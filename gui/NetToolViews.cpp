#include "gui/NetToolViews.h"

#include "gui/PingView.h"
#include "gui/QtHost.h"
#include "gui/ResolveView.h"
#include "net/frmPing.h"
#include "net/frmResolve.h"

void registerNetToolViews(QtHost& host) {
    host.registerDialog(QStringLiteral("frmPing"), [](Form& model, QWidget* parent) {
        return new PingView(static_cast<frmPing&>(model), parent);
    });
    host.registerDialog(QStringLiteral("frmResolve"), [](Form& model, QWidget* parent) {
        return new ResolveView(static_cast<frmResolve&>(model), parent);
    });
}
