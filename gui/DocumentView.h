#pragma once
// The widgets of a session window: the serial port frame, the TCP/IP frame, the two status
// lines with their activity lights and the Activate button. All behaviour is the model's.

#include <QWidget>

class frmDocument;

class DocumentView : public QWidget {
    Q_OBJECT
public:
    explicit DocumentView(frmDocument& model, QWidget* parent = nullptr);
    frmDocument& model() const { return model_; }

private:
    QWidget* buildSerialFrame();
    QWidget* buildNetworkFrame();
    QWidget* buildStatusArea();

    frmDocument& model_;
};
