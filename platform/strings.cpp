#include "platform/strings.h"

#include <map>
#include <mutex>
#include <vector>

namespace {

struct Table {
    StringLayer layer;
    QString owner;
    std::map<UINT, QString> texts;
};

// Tables in the order they were registered. Built on first use, so that libraries may
// register from their static initialisers.
struct Tables {
    std::mutex mutex;
    std::vector<Table> tables;
};

Tables& AllTables() {
    static Tables tables;
    return tables;
}

}  // namespace

void RegisterStringTable(StringLayer layer, const QString& owner,
                         std::initializer_list<StringEntry> entries) {
    Table table{layer, owner, {}};
    for (const StringEntry& e : entries)
        table.texts.emplace(e.id, QString::fromUtf8(e.text ? e.text : ""));
    Tables& all = AllTables();
    std::lock_guard lock(all.mutex);
    for (Table& t : all.tables) {
        if (t.owner == owner) {
            t = std::move(table);
            return;
        }
    }
    all.tables.push_back(std::move(table));
}

void UnregisterStringTable(const QString& owner) {
    Tables& all = AllTables();
    std::lock_guard lock(all.mutex);
    std::erase_if(all.tables, [&](const Table& t) { return t.owner == owner; });
}

bool LoadString(UINT id, QString& text) {
    Tables& all = AllTables();
    std::lock_guard lock(all.mutex);
    for (const StringLayer layer : {StringLayer::Program, StringLayer::Library}) {
        for (const Table& t : all.tables) {
            if (t.layer != layer)
                continue;
            if (const auto it = t.texts.find(id); it != t.texts.end()) {
                text = it->second;
                return true;
            }
        }
    }
    text.clear();
    return false;
}

QString LoadString(UINT id) {
    QString text;
    LoadString(id, text);
    return text;
}
