#pragma once
// How a session window opens its option dialogs: the session's options go into the option
// exchange block, the dialog edits the block, and the session takes them back unless the
// dialog was cancelled.

class Host;
class frmDocument;

// "I/O Options...": the server dialog while the server option button is on, the client
// dialog otherwise.
void showIoOptions(frmDocument& document, Host& host);

// "Login Options...": the four login strings.
void showLoginOptions(frmDocument& document, Host& host);
