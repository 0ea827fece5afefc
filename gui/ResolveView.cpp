#include "gui/ResolveView.h"

#include "gui/ControlBinding.h"
#include "net/frmResolve.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <utility>

ResolveView::ResolveView(frmResolve& model, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(model.caption());
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel;
    bindLabel(model.Label1, heading);
    layout->addWidget(heading);

    auto* grid = new QGridLayout;
    const std::array<std::pair<Label*, TextBox*>, 2> rows{
        std::pair{model.Label2, model.txtHostName}, std::pair{model.Label3, model.txtIPAddress}};
    for (int row = 0; row < 2; ++row) {
        auto* label = new QLabel;
        auto* edit = new QLineEdit;
        label->setBuddy(edit);
        bindLabel(rows[row].first, label);
        bindTextBox(rows[row].second, edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
    }
    layout->addLayout(grid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (Button* button : {model.Command1, model.Command3, model.Command4}) {
        auto* push = new QPushButton;
        bindButton(button, push);
        push->setAutoDefault(false);
        push->setDefault(button == model.Command1);
        buttons->addWidget(push);
    }
    layout->addLayout(buttons);
    setMinimumWidth(420);
}
