#include "net/NetTools.h"

#include "model/Host.h"
#include "net/frmPing.h"
#include "net/frmResolve.h"

void showPingTool(Host& host) {
    frmPing window(host);
    host.showModal(window);
}

void showResolveTool(Host& host) {
    frmResolve window(host);
    host.showModal(window);
}
