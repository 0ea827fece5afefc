// The views of a session's server, client and login option dialogs.

#include "gui/DialogViews.h"
#include "gui/ModelDialog.h"
#include "session/dialogs/frmClientOptions.h"
#include "session/dialogs/frmLogin.h"
#include "session/dialogs/frmServerOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QGroupBox* optionGroup(ModelDialog& view, Frame* frame,
                       const std::array<OptionButton*, 3>& buttons) {
    QGroupBox* box = view.frame(frame);
    auto* layout = new QVBoxLayout(box);
    for (OptionButton* button : buttons)
        layout->addWidget(view.optionButton(button));
    return box;
}

} // namespace

QDialog* makeServerOptionsView(frmServerOptions& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    auto* layout = new QVBoxLayout(view);
    layout->addWidget(view->checkBox(model.chkMultiClients));
    layout->addWidget(optionGroup(*view, model.Frame1, model.OptionTCP));
    layout->addWidget(optionGroup(*view, model.Frame2, model.OptionSerial));
    layout->addWidget(view->checkBox(model.chkComPortControl));
    layout->addLayout(view->buttonRow(model.cmdOK, model.cmdCancel));
    return view;
}

QDialog* makeClientOptionsView(frmClientOptions& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    auto* layout = new QVBoxLayout(view);
    layout->addWidget(optionGroup(*view, model.Frame1, model.Option1));
    layout->addWidget(view->checkBox(model.chkConnectOnVirtualPort));
    layout->addWidget(view->checkBox(model.chkComPortControl));
    layout->addLayout(view->buttonRow(model.cmdOK, model.cmdCancel));
    return view;
}

QDialog* makeLoginView(frmLogin& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    auto* layout = new QVBoxLayout(view);
    auto* grid = new QGridLayout;
    TextBox* const boxes[] = {model.txtUserPrompt, model.txtUserPromptResponse,
                              model.txtPasswordPrompt, model.txtPasswordPromptResponse};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(view->label(model.Labels[i]), i, 0);
        grid->addWidget(view->textBox(boxes[i]), i, 1);
    }
    grid->setColumnMinimumWidth(1, 200);
    layout->addLayout(grid);
    layout->addLayout(view->buttonRow(model.btnOK, model.btnCancel));
    return view;
}
