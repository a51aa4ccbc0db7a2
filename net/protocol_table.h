#pragma once
// Names and numbers of the IP protocols a socket control accepts.

#include <string>

// The number of a protocol name (compared without regard to case), or -1.
int ProtocolNumberOf(const std::string& name);
// The table's name of a protocol number, or "" when the table has none.
std::string ProtocolNameOf(int number);
