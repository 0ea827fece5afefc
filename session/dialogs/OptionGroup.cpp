#include "session/dialogs/OptionGroup.h"

#include "model/Designed.h"

void designOptionGroup(const std::array<OptionButton*, 3>& buttons, const std::array<int, 3>& ids) {
    OptionButton::group({buttons.begin(), buttons.end()});
    for (size_t i = 0; i < buttons.size(); ++i)
        designed(buttons[i], QString::number(ids[i]), ids[i]);
}

void selectOption(const std::array<OptionButton*, 3>& buttons, int value) {
    if (value >= 0 && value < static_cast<int>(buttons.size()))
        buttons[value]->setValue(true);
}
