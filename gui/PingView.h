#pragma once
// The widgets of the Ping window. All behaviour is the model's.

#include <QDialog>

class frmPing;

class PingView : public QDialog {
    Q_OBJECT
public:
    explicit PingView(frmPing& model, QWidget* parent = nullptr);
};
