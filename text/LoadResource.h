#pragma once
// Puts the texts of the user's language into a window loaded from its design: the title from
// the window's tag, each control's caption from its tag (a menu entry's from its caption), tool
// tips from the tool tip text, and the language's font on the window and its texts.

#include <QString>

class Form;

// Loads the texts of form in the current language (uiLanguage). A tag that is empty, not a
// number, not above 0 or beyond a 16-bit id leaves that text and font as designed; an id the
// table lacks leaves the text as it was.
void LoadResource(Form& form);
