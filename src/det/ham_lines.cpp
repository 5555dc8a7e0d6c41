// Rows and columns of the Hamiltonian search's layered matrix taken out
// and put back in place, with the column counts kept current.
#include <vector>

#include "det/hamilton.h"

uint16_t* number_col = nullptr;
uint16_t* colm_mass = nullptr;
ham_record* ham_garb = nullptr;

namespace {

// A removed column carries this on top of its count, so that it is never
// the sparsest line (a column holds at most 101 entries).
constexpr uint16_t REMOVED_COLUMN = 8192;

}  // namespace

// Records come in blocks from the heap and stay on the free list.
ham_record* ham_take_record() {
    if (!ham_garb) {
        constexpr int block = 1024;
        static std::vector<ham_record*> blocks;   // kept until the program ends
        ham_record* b = new ham_record[block];
        blocks.push_back(b);
        for (int i = 0; i < block; i++) {
            b[i].next = ham_garb;
            ham_garb = &b[i];
        }
    }
    ham_record* x = ham_garb;
    ham_garb = x->next;
    return x;
}

void ham_give_record(ham_record* x) {
    x->next = ham_garb;
    ham_garb = x;
}

namespace {

void count_entries(colm* list, int step) {
    for (colm* e = list; e; e = e->next) {
        number_col[e->col - 1] = static_cast<uint16_t>(number_col[e->col - 1] + step);
        if (ham_label(e) > 0) colm_mass[e->col - 1] = static_cast<uint16_t>(colm_mass[e->col - 1] + step);
    }
}

// The head slot of row r (from 1), with the frame it lies in.
struct RowPlace {
    sparse* f;
    int32_t h;
    RowPlace(sparse* first, int32_t r) : f(row_frame_of(first, r)), h((r - 1) % SPARSE_FRAME_ROWS) {}
    static sparse* row_frame_of(sparse* f, int32_t r) {
        for (int32_t k = (r - 1) / SPARSE_FRAME_ROWS; k > 0; k--) f = f->next;
        return f;
    }
    colm*& head() const { return f->row[h]; }
    void next() {
        if (++h == SPARSE_FRAME_ROWS) {
            h = 0;
            f = f->next;
        }
    }
};

}  // namespace

int64_t ham_garb_size() {
    int64_t n = 0;
    for (ham_record* x = ham_garb; x; x = x->next) n++;
    return n;
}

void ham_remove_row(sparse* frame, int32_t m, int32_t r, colm** saved) {
    RowPlace at(frame, r);
    *saved = at.head();
    count_entries(*saved, -1);
    for (int32_t i = r; i < m; i++) {
        RowPlace below = at;
        below.next();
        at.head() = below.head();
        at = below;
    }
    at.head() = nullptr;
}

void ham_restore_row(sparse* frame, int32_t m, int32_t r, colm* saved) {
    // Rows r .. m-1 move down one: walk from r keeping the displaced list.
    RowPlace at(frame, r);
    colm* carry = saved;
    for (int32_t i = r; i <= m; i++) {
        colm* here = at.head();
        at.head() = carry;
        carry = here;
        if (i < m) at.next();
    }
    count_entries(saved, +1);
}

void ham_remove_col(sparse* frame, int32_t col, int32_t m, ham_record** removed) {
    RowPlace at(frame, 1);
    for (int32_t i = 1; i <= m; i++, at.next()) {
        colm** p = &at.head();
        while (*p && (*p)->col < col) p = &(*p)->next;
        if (!*p || (*p)->col != col) continue;
        colm* e = *p;
        *p = e->next;
        ham_record* x = ham_take_record();
        x->link = p;
        x->entry = e;
        x->row = i;
        x->next = *removed;
        *removed = x;
    }
    number_col[col - 1] = static_cast<uint16_t>(number_col[col - 1] + REMOVED_COLUMN);
}

void ham_restore_col(int32_t col, ham_record* removed) {
    number_col[col - 1] = static_cast<uint16_t>(number_col[col - 1] - REMOVED_COLUMN);
    while (removed) {
        ham_record* x = removed;
        removed = x->next;
        x->entry->next = *x->link;
        *x->link = x->entry;
        ham_give_record(x);
    }
}
