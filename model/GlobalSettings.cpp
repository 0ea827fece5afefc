#include "model/GlobalSettings.h"

GlobalSettings& globals() {
    static GlobalSettings settings;
    return settings;
}
