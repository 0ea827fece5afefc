#pragma once
// The views of the modal windows: the global options, the two password dialogs, the session
// option dialogs and the about box. QtHost shows each model through the view registered for
// its window name.

class Form1;
class Form2;
class QDialog;
class QWidget;
class QtHost;
class frmAbout;
class frmClientOptions;
class frmLogin;
class frmOptions;
class frmServerOptions;

void registerDialogViews(QtHost& host);

QDialog* makeOptionsView(frmOptions& model, QWidget* parent);
QDialog* makeSetPasswordView(Form1& model, QWidget* parent);
QDialog* makeEnterPasswordView(Form2& model, QWidget* parent);
QDialog* makeServerOptionsView(frmServerOptions& model, QWidget* parent);
QDialog* makeClientOptionsView(frmClientOptions& model, QWidget* parent);
QDialog* makeLoginView(frmLogin& model, QWidget* parent);
QDialog* makeAboutView(frmAbout& model, QWidget* parent);
