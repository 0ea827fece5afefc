// The views of the set-password and the password entry dialogs.

#include "app/Form1.h"
#include "app/Form2.h"
#include "gui/DialogViews.h"
#include "gui/ModelDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QDialog* makeSetPasswordView(Form1& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    view->centreOnScreen();
    auto* layout = new QVBoxLayout(view);
    auto* grid = new QGridLayout;
    grid->addWidget(view->label(model.Label1), 0, 0);
    grid->addWidget(view->textBox(model.Text1), 0, 1);
    grid->addWidget(view->label(model.Label2), 1, 0);
    grid->addWidget(view->textBox(model.Text2), 1, 1);
    layout->addLayout(grid);
    layout->addLayout(view->buttonRow(model.Command1, model.Command2));
    return view;
}

QDialog* makeEnterPasswordView(Form2& model, QWidget* parent) {
    auto* view = new ModelDialog(model, parent);
    view->centreOnScreen();
    auto* layout = new QVBoxLayout(view);
    auto* grid = new QGridLayout;
    grid->addWidget(view->label(model.Label1), 0, 0);
    QLineEdit* password = view->textBox(model.Text1);
    grid->addWidget(password, 0, 1);
    layout->addLayout(grid);
    layout->addLayout(view->buttonRow(model.Command1, model.Command2));
    password->setFocus();
    return view;
}
