#pragma once
// The Ping window: sends one echo request to a host and shows the reply. The request runs
// in the background; the Ping button is off until its result is shown.

#include "model/Form.h"

#include <array>

class Host;
struct EchoReply;

class frmPing : public Form {
    Q_OBJECT
public:
    // The data a single request carries at most (the reply keeps 250 bytes and the shown
    // data ends before the first NUL among them).
    static constexpr int kMaxEchoData = 249;

    explicit frmPing(Host& host, QObject* parent = nullptr);

    Label* lblAddress;
    TextBox* Text1; // host
    Label* lblData;
    TextBox* Text2; // echo data
    Frame* Frame1;  // "Ping Results:"
    std::array<Label*, 5> lblResult;
    std::array<TextBox*, 5> Text4; // status, address, round trip, size, data
    Button* Command1;              // Ping
    Button* Command3;              // Cancel

    void Command1_Click();
    void Command3_Click();

    // Whether a ping is on its way.
    bool busy() const { return busy_; }

signals:
    // The window asks for the keyboard focus to go to control.
    void focusRequested(Control* control);
    // The result of a ping has been shown.
    void pingFinished();

private:
    void createControls();
    void Form_Load();
    void showReply(const EchoReply& reply);
    void setBusy(bool busy);

    Host& host_;
    bool busy_ = false;
};
