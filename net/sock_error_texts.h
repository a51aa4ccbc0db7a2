#pragma once
// The string table of the socket layer: entry = error number (or context code) + 5000.

#include <string_view>

struct StringTableEntry {
    int id;
    std::string_view text;
};

// Looks an entry up; an empty view when the table has none.
std::string_view SocketStringTable(int id);
