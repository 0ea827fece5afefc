#include "session/dialogs/SessionDialogs.h"

#include "model/Host.h"
#include "session/OptionExchange.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"
#include "session/frmDocument.h"

#include <QPointer>

namespace {

constexpr int kCancelled = -1;

// Shows the dialog with the session's options in the block; true when the session still
// exists afterwards and the dialog was shown (the program may end while it is open).
bool editInBlock(frmDocument& document, Host& host, Form& dialog) {
    const QPointer<frmDocument> session(&document);
    return host.showModal(dialog) && session;
}

} // namespace

void showIoOptions(frmDocument& document, Host& host) {
    document.Getstatus();
    OptionExchangeBlock& block = optionExchange();
    if (document.TCPOption[1]->value()) {
        frmServerOptions dialog;
        if (editInBlock(document, host, dialog) && block.AllowMultiConnect != kCancelled)
            document.UpdateStatus();
    } else {
        frmClientOptions dialog;
        if (editInBlock(document, host, dialog) && block.ClientOptions != kCancelled)
            document.UpdateStatus();
    }
}

void showLoginOptions(frmDocument& document, Host& host) {
    document.Getstatus();
    frmLogin dialog;
    if (editInBlock(document, host, dialog) && optionExchange().LoginResult == 0)
        document.UpdateStatus();
}
