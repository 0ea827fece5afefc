#include "gui/PingView.h"

#include "gui/ControlBinding.h"
#include "net/frmPing.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit* addRow(QGridLayout* grid, int row, Label* caption, TextBox* text, bool readOnly) {
    auto* label = new QLabel;
    auto* edit = new QLineEdit;
    edit->setReadOnly(readOnly);
    label->setBuddy(edit);
    bindLabel(caption, label);
    bindTextBox(text, edit);
    grid->addWidget(label, row, 0);
    grid->addWidget(edit, row, 1);
    return edit;
}

} // namespace

PingView::PingView(frmPing& model, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(model.caption());
    auto* layout = new QVBoxLayout(this);

    auto* input = new QGridLayout;
    QLineEdit* host = addRow(input, 0, model.lblAddress, model.Text1, false);
    addRow(input, 1, model.lblData, model.Text2, false);
    layout->addLayout(input);

    auto* results = new QGroupBox;
    bindFrame(model.Frame1, results);
    auto* grid = new QGridLayout(results);
    for (int i = 0; i < 5; ++i)
        addRow(grid, i, model.lblResult[i], model.Text4[i], true);
    layout->addWidget(results);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ping = new QPushButton;
    bindButton(model.Command1, ping);
    ping->setDefault(true);
    auto* cancel = new QPushButton;
    bindButton(model.Command3, cancel);
    cancel->setAutoDefault(false);
    buttons->addWidget(ping);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(&model, &frmPing::focusRequested, host, [&model, host](Control* control) {
        if (control == model.Text1)
            host->setFocus();
    });
    setMinimumWidth(420);
}
