#pragma once
// Whether the program runs without windows: LUMIVEX_HEADLESS=1, no display named, or a
// display that cannot be reached (Qt would abort on it instead of reporting it).

bool headlessMode();
