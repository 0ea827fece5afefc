#pragma once
// The rows of the string table, for StringTable.cpp and nothing else.

#include <span>

struct StringEntry {
    int id;
    const char* english;  // UTF-8
    const char* japanese; // UTF-8
};

// All rows, sorted by id, each id once.
std::span<const StringEntry> stringEntries();
