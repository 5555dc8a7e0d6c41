// A read-only stream over a text, for feeding the scanners, and the return
// of test-built token chains to their free list.
#pragma once
#include <cstdio>
#include <string>

#include "storage/other_records.h"

inline void give_back_names(name* first) {
    while (first) {
        name* n = first->next;
        first->next = name_garb;
        name_garb = first;
        first = n;
    }
}

struct TextStream {
    std::string text;
    FILE* f;
    explicit TextStream(std::string t) : text(std::move(t)) {
        // fmemopen refuses an empty buffer on some C libraries; a temporary
        // file serves every text.
        f = tmpfile();
        fwrite(text.data(), 1, text.size(), f);
        rewind(f);
    }
    ~TextStream() { fclose(f); }
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;
};
