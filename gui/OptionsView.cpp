// The view of the global options dialog.

#include "app/frmOptions.h"
#include "gui/DialogViews.h"
#include "gui/ModelDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QDialog* makeOptionsView(frmOptions& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    auto* layout = new QVBoxLayout(view);

    auto* packet = new QHBoxLayout;
    packet->addWidget(view->label(model.Label2));
    packet->addWidget(view->comboBox(model.Combo1));
    packet->addStretch(1);
    layout->addLayout(packet);
    layout->addWidget(view->checkBox(model.chkLoadWithWindows));
    layout->addWidget(view->checkBox(model.Check1));

    QGroupBox* errors = view->frame(model.Frame1);
    auto* errorGrid = new QGridLayout(errors);
    errorGrid->addWidget(view->label(model.Label1), 1, 0);
    QLineEdit* commandLine = view->textBox(model.Text1);
    commandLine->setMinimumWidth(260);
    errorGrid->addWidget(commandLine, 1, 1);
    errorGrid->addWidget(view->button(model.Command1), 1, 2);
    layout->addWidget(errors);

    QGroupBox* pings = view->frame(model.Frame2);
    auto* pingGrid = new QGridLayout(pings);
    pingGrid->addWidget(view->checkBox(model.Check2), 0, 0, 1, 2);
    pingGrid->addWidget(view->label(model.Label3), 1, 0);
    pingGrid->addWidget(view->comboBox(model.Combo2), 1, 1);
    pingGrid->addWidget(view->label(model.Label4), 2, 0);
    pingGrid->addWidget(view->comboBox(model.Combo3), 2, 1);
    pingGrid->setColumnStretch(2, 1);
    layout->addWidget(pings);

    layout->addLayout(view->buttonRow(model.Command2, model.Command3));
    return view;
}
