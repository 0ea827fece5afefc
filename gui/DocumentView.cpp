#include "gui/DocumentView.h"

#include "gui/ActivityLight.h"
#include "gui/ControlBinding.h"
#include "session/frmDocument.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

DocumentView::DocumentView(frmDocument& model, QWidget* parent)
    : QWidget(parent)
    , model_(model) {
    auto* frames = new QHBoxLayout;
    frames->addWidget(buildSerialFrame());
    frames->addWidget(buildNetworkFrame());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(frames);
    layout->addWidget(buildStatusArea());

    auto refreshTitle = [this] {
        setWindowTitle(model_.caption());
    };
    connect(&model_, &Form::captionChanged, this, refreshTitle);
    refreshTitle();
}

QWidget* DocumentView::buildSerialFrame() {
    auto* frame = new QGroupBox(this);
    bindFrame(model_.Frame1, frame);
    auto* grid = new QGridLayout(frame);
    auto addRow = [&](int row, Label* caption, ComboBox* list) {
        auto* label = new QLabel(frame);
        auto* combo = new QComboBox(frame);
        label->setBuddy(combo);
        combo->setMaxVisibleItems(16);
        bindLabel(caption, label);
        bindComboBox(list, combo);
        grid->addWidget(label, row, 0);
        grid->addWidget(combo, row, 1);
    };
    addRow(0, model_.SerialLabels[0], model_.Combo2);
    for (int i = 0; i < 6; ++i)
        addRow(i + 1, model_.SerialLabels[i + 1], model_.Combo1[i]);

    int row = 7;
    for (CheckBox* check : {model_.BufferSerData, model_.chkVPort, model_.WaitForCr}) {
        auto* box = new QCheckBox(frame);
        bindCheckBox(check, box);
        grid->addWidget(box, row++, 0, 1, 2);
    }
    auto* timeoutLabel = new QLabel(frame);
    auto* timeout = new QLineEdit(frame);
    bindLabel(model_.lblTimeout, timeoutLabel);
    bindTextBox(model_.txtTimeoutValue, timeout);
    grid->addWidget(timeoutLabel, row, 0);
    grid->addWidget(timeout, row, 1);
    grid->setRowStretch(row + 1, 1);
    return frame;
}

QWidget* DocumentView::buildNetworkFrame() {
    auto* frame = new QGroupBox(this);
    bindFrame(model_.Frame2, frame);
    auto* layout = new QVBoxLayout(frame);
    for (OptionButton* option : model_.TCPOption) {
        auto* radio = new QRadioButton(frame);
        bindOptionButton(option, radio);
        layout->addWidget(radio);
    }
    auto* form = new QGridLayout;
    auto* addressLabel = new QLabel(frame);
    auto* address = new QLineEdit(frame);
    auto* localAddress = new QComboBox(frame);
    auto* portLabel = new QLabel(frame);
    auto* port = new QLineEdit(frame);
    bindLabel(model_.Label2, addressLabel);
    bindTextBox(model_.IPAddress, address);
    bindComboBox(model_.LocalIP, localAddress);
    bindLabel(model_.Label3, portLabel);
    bindTextBox(model_.PortNumber, port);
    form->addWidget(addressLabel, 0, 0);
    form->addWidget(address, 1, 0);
    form->addWidget(localAddress, 1, 0);
    form->addWidget(portLabel, 2, 0);
    form->addWidget(port, 3, 0);
    layout->addLayout(form);

    auto* udp = new QCheckBox(frame);
    bindCheckBox(model_.chkUDP, udp);
    layout->addWidget(udp);
    auto* buttons = new QHBoxLayout;
    for (Button* button : {model_.Command2, model_.btnLogin}) {
        auto* push = new QPushButton(frame);
        bindButton(button, push);
        buttons->addWidget(push);
    }
    layout->addLayout(buttons);
    layout->addStretch(1);
    return frame;
}

QWidget* DocumentView::buildStatusArea() {
    auto* area = new QWidget(this);
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 2; ++i) {
        auto* light = new ActivityLight(area);
        auto* status = new QLabel(area);
        status->setTextInteractionFlags(Qt::TextSelectableByMouse);
        bindShape(model_.Shape1[i], light);
        bindLabel(model_.StatusBar1[i], status);
        grid->addWidget(light, i, 0);
        grid->addWidget(status, i, 1);
    }
    auto* activate = new QPushButton(area);
    auto* rename = new QPushButton(area);
    bindButton(model_.Command1, activate);
    bindButton(model_.Command3, rename);
    activate->setDefault(true);
    grid->addWidget(activate, 0, 2);
    grid->addWidget(rename, 1, 2);
    grid->setColumnStretch(1, 1);
    return area;
}
