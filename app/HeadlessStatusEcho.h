#pragma once
// Without a screen the sessions' status lines go to stderr, so that a service's journal
// shows what every session is doing.

#include <QObject>

class frmMain;
class frmDocument;

class HeadlessStatusEcho : public QObject {
    Q_OBJECT
public:
    explicit HeadlessStatusEcho(frmMain& main);

private:
    void follow(frmDocument* document);
};
