// The Hamiltonian path search: the layered matrix, the driver and the
// expansion.
#include "det/hamilton.h"

#include <cstdio>

#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "numbers/random.h"
#include "numbers/ring.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

long total_cnt = 0;
long lowcnt = 0;
int hamilton_running = 0;
int32_t ham_runs = 0;

namespace {

constexpr int32_t MAX_SIDE = 100 * 100 + 1;

uint8_t monomal[101];   // labels in use; entry 0 always
int32_t randint = 145;

// The next tie-break: true one time in four.
bool tie_wins() {
    randint = (145 * randint) % 40099;
    return randint % 4 == 0;
}

colm* labelled(int32_t col, int32_t label) {
    colm* e = take_colm();
    e->col = col;
    e->val = reinterpret_cast<quoly*>(static_cast<intptr_t>(label));
    e->next = nullptr;
    return e;
}

// The entries of one level whose label was already in use, taken out of
// their rows; they go back (last first) when the level is left.
struct Pruned {
    ham_record* list = nullptr;
    Pruned() = default;
    Pruned(const Pruned&) = delete;
    Pruned& operator=(const Pruned&) = delete;
    ~Pruned() {
        while (list) {
            ham_record* x = list;
            list = x->next;
            colm* e = x->entry;
            e->next = *x->link;
            *x->link = e;
            number_col[e->col - 1]++;
            colm_mass[e->col - 1]++;
            ham_give_record(x);
        }
    }
    void take(colm** link, colm* e, int32_t row) {
        *link = e->next;
        number_col[e->col - 1]--;
        colm_mass[e->col - 1]--;
        ham_record* x = ham_take_record();
        x->link = link;
        x->entry = e;
        x->row = row;
        x->next = list;
        list = x;
    }
};

// A row out of the matrix while the object lives. Its list may be split in
// two (tried first, tried last); going back it is merged into column order.
struct RowOut {
    sparse* f = nullptr;
    int32_t m = 0, r = 0;
    colm* first = nullptr;
    colm* later = nullptr;
    bool out = false;
    RowOut() = default;
    RowOut(const RowOut&) = delete;
    RowOut& operator=(const RowOut&) = delete;
    void take(sparse* frame, int32_t rows, int32_t row) {
        f = frame;
        m = rows;
        r = row;
        ham_remove_row(f, m, r, &first);
        out = true;
    }
    void put_back() {
        if (!out) return;
        out = false;
        colm* list = nullptr;
        colm** tail = &list;
        while (first || later) {
            colm** from = !later || (first && first->col < later->col) ? &first : &later;
            colm* e = *from;
            *from = e->next;
            *tail = e;
            tail = &e->next;
        }
        *tail = nullptr;
        ham_restore_row(f, m, r, list);
    }
    ~RowOut() { put_back(); }
};

// A column out of the matrix while the object lives.
struct ColOut {
    int32_t col = 0;
    ham_record* removed = nullptr;
    bool out = false;
    ColOut() = default;
    ColOut(const ColOut&) = delete;
    ColOut& operator=(const ColOut&) = delete;
    void take(sparse* frame, int32_t c, int32_t rows) {
        col = c;
        ham_remove_col(frame, c, rows, &removed);
        out = true;
    }
    void put_back() {
        if (!out) return;
        out = false;
        ham_restore_col(col, removed);
        removed = nullptr;
    }
    ~ColOut() { put_back(); }
};

// Before the path has k labels, label-carrying steps are tried first; from
// then on the steps that stay in place.
bool tried_last(int32_t label, int32_t length, int32_t k) { return length < k ? label == 0 : label > 0; }

// The search marks a label and goes one level down.
struct Step {
    int32_t label;
    int32_t length;
    Step(int32_t l, int32_t len, int32_t k) : label(l), length(len) {
        total_cnt++;
        if (label <= 0) return;
        monomal[label] = 1;
        length++;
        if (verbose && length >= k - 1) {
            std::printf("     path found of length %d\n", length - 1);
            std::fflush(stdout);
        }
    }
    ~Step() {
        if (label > 0) monomal[label] = 0;
    }
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
};

// A run of the search stays marked for its whole extent, whatever way it ends.
struct Running {
    Running() {
        hamilton_running = 1;
        ham_runs = 0;
    }
    ~Running() {
        hamilton_running = 0;
        total_cnt = 0;
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

// The leaf limit the hub's polynomial names: its first coefficient.
int64_t leaf_limit(polynode* limit) {
    if (!limit) return INT32_MAX;
    while (!limit->numb) limit = limit->pcoef;
    const imag* c = limit->ncoef;
    if (lintmode) return c->value;
    if (c->count > 1) return INT32_MAX;
    return c->count == 0 ? 0 : c->head->digit;
}

}  // namespace

int32_t set_up_hamilton(quoly** cells, int32_t n, sparse** frame) {
    const int32_t N = n * n + 1;
    sparse* f = new_frame_chain(N);
    auto arc = [&](int32_t i, int32_t j) { return quoly_eq_1(cells[int64_t{j} * n + i]) != 0; };
    for (int32_t v = 0; v < n; v++)
        for (int32_t k = 1; k <= n; k++) {
            const int32_t t = v * n + k;
            colm* list = nullptr;
            colm** tail = &list;
            auto add = [&](int32_t col, int32_t label) {
                *tail = labelled(col, label);
                tail = &(*tail)->next;
            };
            // Columns ascend: arcs to lower vertices, the diagonal, the others, N.
            if (k < n)
                for (int32_t j = 0; j < v; j++)
                    if (arc(v, j)) add(j * n + k + 1, j + 1);
            add(t, 0);
            if (k < n)
                for (int32_t j = v; j < n; j++)
                    if (arc(v, j)) add(j * n + k + 1, j + 1);
            if (k == n && n >= 2) add(N, 0);
            *row_head(f, t) = list;
        }
    colm* last = nullptr;
    colm** tail = &last;
    for (int32_t v = 0; v < n; v++) {
        *tail = labelled(v * n + 1, v + 1);
        tail = &(*tail)->next;
    }
    *row_head(f, N) = last;
    *frame = f;
    return N;
}

int hamilton_path(sparse* frame, int32_t m, int32_t side, int32_t k, int32_t length, int64_t limit) {
    poll_interrupt();
    if (m == 1) {
        lowcnt++;
        for (colm* e = frame->row[0]; e; e = e->next) {
            const int32_t l = ham_label(e);
            if (l == 0 || !monomal[l]) return 1;
        }
        return limit > lowcnt ? 0 : -1;
    }

    Pruned pruned;
    int32_t best_row = 0, best_col = 0, best_count = 32700, best_mass = 0;
    bool dead = false;
    {
        sparse* f = frame;
        int32_t h = 0;
        for (int32_t i = 1; i <= m && !dead; i++) {
            int32_t count = 0, mass = 0;
            colm** p = &f->row[h];
            while (*p) {
                colm* e = *p;
                const int32_t l = ham_label(e);
                if (l > 0 && monomal[l]) {
                    pruned.take(p, e, i);
                    continue;
                }
                count++;
                if (l > 0) mass++;
                p = &e->next;
            }
            if (count == 0) {
                dead = true;
            } else if (count < best_count || (count == best_count && (mass > best_mass || (mass == best_mass && tie_wins())))) {
                best_row = i;
                best_count = count;
                best_mass = mass;
            }
            if (++h == SPARSE_FRAME_ROWS) {
                h = 0;
                f = f->next;
            }
        }
    }
    for (int32_t c = 1; c <= side && !dead; c++) {
        const int32_t count = number_col[c - 1], mass = colm_mass[c - 1];
        if (count == 0) {
            dead = true;
        } else if (count < best_count || (count == best_count && (mass > best_mass || (mass == best_mass && tie_wins())))) {
            best_col = c;
            best_count = count;
            best_mass = mass;
        }
    }
    if (dead) {
        lowcnt++;
        return lowcnt >= limit ? -1 : 0;
    }

    int result = 0;
    if (best_col == 0) {
        RowOut chosen;
        chosen.take(frame, m, best_row);
        // Split the row: the entries tried last go to the second list.
        colm* all = chosen.first;
        colm** a = &chosen.first;
        colm** b = &chosen.later;
        for (colm* e = all; e; e = e->next) {
            if (tried_last(ham_label(e), length, k)) {
                *b = e;
                b = &e->next;
            } else {
                *a = e;
                a = &e->next;
            }
        }
        *a = nullptr;
        *b = nullptr;
        for (colm* list : {chosen.first, chosen.later})
            for (colm* e = list; e && result == 0; e = e->next) {
                Step step(ham_label(e), length, k);
                ColOut cross;
                cross.take(frame, e->col, m - 1);
                result = hamilton_path(frame, m - 1, side, k, step.length, limit);
            }
        // A row is put back in column order before the pruned entries.
        chosen.put_back();
        return result;
    }

    ColOut chosen;
    chosen.take(frame, best_col, m);
    ham_record* first = nullptr;
    ham_record** a = &first;
    ham_record* later = nullptr;
    ham_record** b = &later;
    for (ham_record* x = chosen.removed; x;) {
        ham_record* next = x->next;
        if (tried_last(ham_label(x->entry), length, k)) {
            *b = x;
            b = &x->next;
        } else {
            *a = x;
            a = &x->next;
        }
        x = next;
    }
    *b = nullptr;
    *a = later;
    chosen.removed = first;
    for (ham_record* x = chosen.removed; x && result == 0; x = x->next) {
        Step step(ham_label(x->entry), length, k);
        RowOut cross;
        cross.take(frame, m, x->row);
        result = hamilton_path(frame, m - 1, side, k, step.length, limit);
    }
    chosen.put_back();
    return result;
}

void hamilton_path_driver(sparse** frame, int32_t N, quoly** result, polynode* limit) {
    // A search below a nested level would overwrite the running one's tables.
    if (hamilton_running) {
        error(309, token.name);
        abandon_statement(309);
    }
    int64_t leaves = leaf_limit(limit);
    if (leaves < 1) leaves = INT64_MAX;   // no limit

    randint = 145;
    const int32_t r = rand_integer3() % 64;
    for (int32_t i = 0; i < r; i++) tie_wins();

    int32_t k = 2;
    if (!(N / 4 < 1 || N - 1 <= 4)) {
        k = 3;
        while (!(k * k >= N - 1 || k - 1 > N / 4)) k++;
    }

    if (!number_col) {
        number_col = new uint16_t[MAX_SIDE];
        colm_mass = new uint16_t[MAX_SIDE];
    }
    for (int32_t c = 0; c < N; c++) number_col[c] = colm_mass[c] = 0;
    {
        sparse* f = *frame;
        int32_t h = 0;
        for (int32_t i = 1; i <= N; i++) {
            for (colm* e = f->row[h]; e; e = e->next) {
                number_col[e->col - 1]++;
                if (ham_label(e) > 0) colm_mass[e->col - 1]++;
            }
            if (++h == SPARSE_FRAME_ROWS) {
                h = 0;
                f = f->next;
            }
        }
    }

    Running running;
    if (verbose) dumpitt("Hamiltonian path search, side ", N, 1, 1, 1);
    int found;
    for (;;) {
        total_cnt = 0;
        lowcnt = 0;
        monomal[0] = 1;
        for (int i = 1; i <= 100; i++) monomal[i] = 0;
        ham_runs++;
        found = hamilton_path(*frame, N, N, k, 0, leaves);
        if (verbose) std::printf("   total branches, leaf count: %li, %li\n", total_cnt, lowcnt);
        if (found >= 0) break;
        if (verbose) std::printf(" Leaf count limit exceeded; try again: \n");
        // The same limit could fail for ever: a refutation may need more leaves.
        leaves = leaves > INT64_MAX / 2 ? INT64_MAX : 2 * leaves;
    }
    quoly_set(found, result);
}
