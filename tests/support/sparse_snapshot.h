// Every stored entry of a sparse matrix remembered (its node, column field,
// value record and a copy of the value), to show that an operation left the
// matrix exactly as it was.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "matrix/sparse.h"
#include "storage/assign.h"
#include "storage/equality.h"

struct Snapshot {
    struct Entry {
        int32_t row, col;
        const colm* node;
        quoly* val;
        quoly* copy = nullptr;
    };
    std::vector<Entry> entries;
    Snapshot(sparse* f, int32_t n) {
        for (int32_t r = 1; r <= n; r++)
            for (colm* e = *row_head(f, r); e; e = e->next) {
                entries.push_back({r, e->col, e, e->val});
                quoly_assign(e->val, &entries.back().copy);
            }
    }
    ~Snapshot() {
        for (auto& e : entries) free_quoly(&e.copy);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    ::testing::AssertionResult same(sparse* f, int32_t n) const {
        size_t i = 0;
        for (int32_t r = 1; r <= n; r++)
            for (colm* e = *row_head(f, r); e; e = e->next, i++) {
                if (i >= entries.size()) return ::testing::AssertionFailure() << "an entry was added";
                const Entry& w = entries[i];
                if (w.row != r || w.col != e->col || w.node != e || w.val != e->val || !quoly_equal(w.copy, e->val))
                    return ::testing::AssertionFailure() << "entry (" << w.row << ", " << w.col << ") changed";
            }
        if (i != entries.size()) return ::testing::AssertionFailure() << "an entry was removed";
        return ::testing::AssertionSuccess();
    }
};
