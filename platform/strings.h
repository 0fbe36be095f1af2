// String tables. Each library and the program register a table of their texts by id.
// A text is looked up in the program's tables first and then in the libraries', so where
// the program and a library define the same id the program's text is shown. Among
// tables of one layer, the one registered first wins.
#pragma once

#include <QString>

#include <initializer_list>
#include <utility>

#include "platform/types.h"

enum class StringLayer { Library, Program };

struct StringEntry {
    UINT id;
    const char* text;  // UTF-8
};

// Registers (or replaces) the table of owner, for example "tdkit" or "tonedeck".
void RegisterStringTable(StringLayer layer, const QString& owner,
                         std::initializer_list<StringEntry> entries);
void UnregisterStringTable(const QString& owner);

// The text of id; false, with text emptied, when no table defines it.
bool LoadString(UINT id, QString& text);
QString LoadString(UINT id);

// Registers a table while a library is loaded: a static object of the library's own.
struct StringTableRegistrar {
    StringTableRegistrar(StringLayer layer, const char* owner,
                         std::initializer_list<StringEntry> entries) {
        RegisterStringTable(layer, QString::fromLatin1(owner), entries);
    }
};
