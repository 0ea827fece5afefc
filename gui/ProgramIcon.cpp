#include "gui/ProgramIcon.h"

// Registers the resources of the static GUI library, which the linker would otherwise drop.
// Outside any namespace: the macro declares the function it calls where it stands.
static void initResources() {
    Q_INIT_RESOURCE(lumivex);
}

QIcon programIcon() {
    initResources();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/lumivex-%1.png").arg(size), QSize(size, size));
    return icon;
}
