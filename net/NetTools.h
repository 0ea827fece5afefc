#pragma once
// Opening the Ping and Resolve windows (the main window's Tools menu calls these).

class Host;

// Loads the window and shows it modally through host; returns when it has been closed.
// A host that cannot show windows (headless) returns at once.
void showPingTool(Host& host);
void showResolveTool(Host& host);
