#include "NameTable.h"

#include <tinyxml.h>

void LoadNameTable(NameTable& table, const char* path) {
    table.clear();
    TiXmlDocument document;
    if (path == nullptr || !document.LoadFile(path))
        return;

    // Quorlin and DeviceName are found by name; the entries below are the first child, which
    // must be an element (a comment there means no entry is read), and every sibling element
    // after it, whatever its name.
    const TiXmlElement* entry = TiXmlHandle(&document)
                                    .FirstChild("Quorlin")
                                    .FirstChild("DeviceName")
                                    .FirstChild()
                                    .ToElement();
    for (; entry != nullptr; entry = entry->NextSiblingElement()) {
        const char* serial = entry->Attribute("SerialNo");
        const char* name = entry->Attribute("Name");
        if (serial == nullptr || name == nullptr)
            continue;
        table.emplace(serial, name);  // keeps the first entry of a key
    }
}
