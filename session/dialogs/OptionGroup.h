#pragma once
// The groups of three option buttons of the session option dialogs: the value is the index
// of the button that is on.

#include "model/Controls.h"

#include <array>

// Makes the buttons one group with the captions (and text ids) 0, 1, 2 from top to bottom.
void designOptionGroup(const std::array<OptionButton*, 3>& buttons, const std::array<int, 3>& ids);

// Turns button value on; a value outside the group turns none on.
void selectOption(const std::array<OptionButton*, 3>& buttons, int value);

// The index of the button that is on; with none on, the group keeps current.
int selectedOption(const std::array<OptionButton*, 3>& buttons, int current);
