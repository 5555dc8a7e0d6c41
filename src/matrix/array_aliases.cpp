#include "matrix/array_aliases.h"

#include <algorithm>

#include "interp/array_table.h"

namespace {

struct alias_entry {
    array* alias;
    array* stands_for;   // a record with a positive stamp
};

// In the order of the calls: a call's aliases leave before its caller's.
std::vector<alias_entry> aliases;

}  // namespace

void note_alias(array* alias, const array* bound) {
    array* root = const_cast<array*>(bound);
    if (bound->stamp < 0)
        for (const alias_entry& e : aliases)
            if (e.alias == bound) root = e.stands_for;
    aliases.push_back({alias, root});
}

array* array_behind(array* a) {
    if (a->stamp >= 0) return a;
    for (const alias_entry& e : aliases)
        if (e.alias == a) return array_alive(e.stands_for, -a->stamp) ? e.stands_for : nullptr;
    return nullptr;
}

void forget_alias(const array* alias) {
    const auto it = std::find_if(aliases.rbegin(), aliases.rend(), [&](const alias_entry& e) { return e.alias == alias; });
    if (it != aliases.rend()) aliases.erase(std::next(it).base());
}

std::vector<array*> storage_sharers(const array* a) {
    std::vector<array*> out;
    if (aliases.empty() || a->stamp == 0) return out;
    const int32_t stamp = a->stamp < 0 ? -a->stamp : a->stamp;
    array* root = nullptr;
    for (const alias_entry& e : aliases) {
        if (e.alias->stamp != -stamp) continue;
        if (e.alias != a) out.push_back(e.alias);
        root = e.stands_for;
    }
    if (root && root != a && array_alive(root, stamp)) out.push_back(root);
    return out;
}
