#pragma once
// Lets a QtHost show the Ping and Resolve windows (showPingTool, showResolveTool).

class QtHost;

void registerNetToolViews(QtHost& host);
