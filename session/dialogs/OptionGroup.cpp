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

int selectedOption(const std::array<OptionButton*, 3>& buttons, int current) {
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (buttons[i]->value())
            return static_cast<int>(i);
    }
    return current;
}
