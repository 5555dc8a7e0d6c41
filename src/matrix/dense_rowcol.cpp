// Pointer exchanges and fills on dense matrices.
#include "matrix/dense_rowcol.h"

#include <cstdint>
#include <utility>

#include "matrix/array_store.h"
#include "storage/assign.h"

void switchrow_col(int code, int32_t i, int32_t j, int32_t first, int32_t rows, int32_t column_length,
                   int32_t row_length) {
    if (i == j) return;
    if (code == ']') {
        for (int32_t c = 0; c < row_length; c++) {
            const int64_t base = int64_t{first} + int64_t{c} * rows;
            std::swap(*cell_at(base + i), *cell_at(base + j));
        }
    } else {
        const int64_t ci = int64_t{first} + int64_t{i} * rows;
        const int64_t cj = int64_t{first} + int64_t{j} * rows;
        for (int32_t r = 0; r < column_length; r++) std::swap(*cell_at(ci + r), *cell_at(cj + r));
    }
}

void swap_cols(quoly** v, int32_t i, int32_t j, int32_t n) {
    if (i == j) return;
    for (int32_t r = 0; r < n; r++) std::swap(v[int64_t{i} * n + r], v[int64_t{j} * n + r]);
}

void spec_swap_rows(quoly** v, int32_t i, int32_t j, int32_t n) {
    for (int32_t c = 0; c < i; c++) std::swap(v[int64_t{c} * n + i], v[int64_t{c} * n + j]);
}

void fillup(int32_t rows, int32_t columns, int32_t first, quoly** v) {
    const int64_t n = int64_t{rows} * columns;
    for (int64_t t = 0; t < n; t++) *cell_at(first + t) = v[t];
}

void reverse_array(array* a) {
    const int32_t half = (a->last + 1 - a->first) / 2;
    for (int32_t t = 0; t < half; t++) std::swap(*cell_at(a->first + t), *cell_at(a->last - t));
}

void identi(quoly** v, int32_t n, int owned) {
    for (int32_t c = 0; c < n; c++)
        for (int32_t r = 0; r < n; r++) {
            quoly** cell = &v[int64_t{c} * n + r];
            if (!owned) *cell = nullptr;
            quoly_set(r == c ? 1 : 0, cell);
        }
}

void uppertri(quoly** v, int32_t n) {
    for (int32_t c = 0; c < n; c++)
        for (int32_t r = 0; r <= c; r++) {
            quoly** cell = &v[int64_t{c} * n + r];
            *cell = nullptr;
            quoly_set(r == c ? 1 : 0, cell);
        }
}

int32_t permute(const col* list, int32_t x) {
    for (; list; list = list->next) {
        const auto a = static_cast<int32_t>(reinterpret_cast<intptr_t>(list->word1));
        const auto b = static_cast<int32_t>(reinterpret_cast<intptr_t>(list->word2));
        if (x == a)
            x = b;
        else if (x == b)
            x = a;
    }
    return x;
}
