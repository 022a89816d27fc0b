// NameTable.h: friendly device names by serial prefix, from "Config.xml".
#pragma once

#include <map>
#include <string>

// Serial prefix (SerialNo) -> friendly name (Name), both as bytes of the file; keys compared
// byte-wise, case-sensitively.
using NameTable = std::map<std::string, std::string>;

// Empties `table` and fills it from the entries of Quorlin/DeviceName in `path`. A missing,
// empty or broken file leaves it empty; of two entries with one key the first wins.
void LoadNameTable(NameTable& table, const char* path = "Config.xml");
