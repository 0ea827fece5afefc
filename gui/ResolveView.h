#pragma once
// The widgets of the Resolve window. All behaviour is the model's.

#include <QDialog>

class frmResolve;

class ResolveView : public QDialog {
    Q_OBJECT
public:
    explicit ResolveView(frmResolve& model, QWidget* parent = nullptr);
};
