#include "det/sparse_minors.h"

#include <cstdio>

#include "det/minor_stash.h"
#include "det/pivots.h"
#include "interp/token.h"
#include "matrix/sparse.h"
#include "matrix/sparse_finders.h"
#include "matrix/sparse_impl.h"
#include "matrix/sparse_whole.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "storage/workblocks.h"
#include "toplevel/errors.h"

long sp_total_cnt = 0;
long sp_lowcnt = 0;
int minors_running = 0;

namespace {

constexpr int32_t COLUMN_SCALE = 32768;
constexpr int32_t MAX_MINORS_SIDE = 32766;
constexpr int32_t REMOVED_MARK = 0xFFFFFF;

inline int32_t col_number(const colm* e) { return e->col / COLUMN_SCALE; }
inline int32_t col_position(const colm* e) { return e->col % COLUMN_SCALE; }

minor_fix* fix_garb = nullptr;

minor_fix* take_fix() {
    if (minor_fix* x = fix_garb) {
        fix_garb = x->next;
        return x;
    }
    return new minor_fix;
}

void give_fixes(minor_fix* x) {
    while (x) {
        minor_fix* next = x->next;
        x->next = fix_garb;
        fix_garb = x;
        x = next;
    }
}

// ---- lines taken out for one branch, put back on every exit ----

struct RowOut {
    sparse* f;
    int32_t m, r;
    bool with_mass;
    colm* saved = nullptr;
    RowOut(sparse* frame, int32_t rows, int32_t row, bool mass) : f(frame), m(rows), r(row), with_mass(mass) {
        remove_row(f, m, r, &saved, with_mass);
    }
    ~RowOut() { restore_row(f, m, r, saved, with_mass); }
    RowOut(const RowOut&) = delete;
    RowOut& operator=(const RowOut&) = delete;
};

struct ColOut {
    int32_t col;
    minor_fix* removed = nullptr;
    minor_fix* renumbered = nullptr;
    ColOut(sparse* frame, int32_t c, int32_t rows) : col(c) { remove_col(frame, c, rows, &removed, &renumbered); }
    ~ColOut() { restore_col(col, removed, renumbered); }
    ColOut(const ColOut&) = delete;
    ColOut& operator=(const ColOut&) = delete;
};

struct KeyBit {
    numnode* word = nullptr;
    int32_t bit = 0;
    ~KeyBit() {
        if (word) word->digit = static_cast<int32_t>(static_cast<uint32_t>(word->digit) | (1u << bit));
    }
};

struct TraceLevel {
    TraceLevel() { dumpitt_level++; }
    ~TraceLevel() { dumpitt_level--; }
    TraceLevel(const TraceLevel&) = delete;
    TraceLevel& operator=(const TraceLevel&) = delete;
};

// ---- the two twins: what differs between quoly and residue values ----

// A minor's value left where the stash holds it, for the caller to use in
// place; hit: it came from a look-up, which owes its memory check.
struct Shared {
    quoly* v = nullptr;
    bool hit = false;
};

struct QuolyTwin {
    using value = quoly*;
    static constexpr bool with_mass = true;
    static constexpr int trace_depth = 8;
    static constexpr const char* label = "Sparse minors det, side ";
    static void set_zero(value* v) { quoly_set(0, v); }
    static void from_entry(const colm* e, value* v) { quoly_assign(e->val, v); }
    static void release(value* v) { free_quoly(v); }
    static bool is_zero(value v) { return quoly_iszero(v); }
    // *acc += sign * entry * *t, consuming *t.
    static void add_term(value* acc, value* t, const colm* e, bool negate) {
        quoly* ev = e->val;
        fast_quoly_mult(t, &ev);
        if (negate) quoly_inplace(*t);
        best_quoly_add(acc, *t);
        *t = nullptr;
    }
    // A stored minor is multiplied where it lies, not copied first.
    static bool look_up(const imag* key, int32_t hash, value*, Shared* shared) {
        shared->v = minor_lookup(key, hash);
        shared->hit = true;
        return shared->v != nullptr;
    }
    // *acc += sign * entry * shared, then the check a hit owes.
    static void add_shared(value* acc, const Shared& shared, const colm* e, bool negate) {
        quoly* t = nullptr;
        if (!quoly_iszero(shared.v)) {
            quoly_mult(shared.v, e->val, &t);
            if (negate) quoly_inplace(t);
            best_quoly_add(acc, t);
        }
        if (shared.hit) minor_hit_check(false);
    }
    // The value goes into the stash without a copy; the caller reads it there.
    static void store(const imag* key, int32_t hash, value* v, Shared* shared) {
        shared->v = stash_minor_taking(key, hash, *v);
        shared->hit = false;
        *v = nullptr;
    }
    static bool row_wins_tie(const colm* row, int32_t* best_mass) {
        const int32_t mass = row_mass(row);
        if (mass >= *best_mass) return false;
        *best_mass = mass;
        return true;
    }
    static bool col_wins_tie(int32_t c, int32_t* best_mass) {
        if (sparse_mass[c - 1] >= *best_mass) return false;
        *best_mass = sparse_mass[c - 1];
        return true;
    }
    static int32_t first_mass(const colm* row) { return row_mass(row); }
    // False: memory is low and the free lists are short; store nothing.
    static bool memory_allows_storing() {
        if (!memory_budgeted() || memavail() > minor_memory / 6) return true;
        if (fast_garbsize() < 3000000) return false;
        if (init_max_stash_row - 1 > max_stash_row && med_garbsize() > 28000000 && big_garbsize() > 220000000)
            resume();
        return true;
    }
    static void resume();
};

struct ResidueTwin {
    using value = int32_t;
    static constexpr bool with_mass = false;
    static constexpr int trace_depth = 10;
    static constexpr const char* label = " Sparse minors det, integer, modular, side ";
    static void set_zero(value* v) { *v = 0; }
    static void from_entry(const colm* e, value* v) { *v = e->val->nnum->value; }
    static void release(value*) {}
    static bool is_zero(value v) { return v == 0; }
    static void add_term(value* acc, value* t, const colm* e, bool negate) {
        int32_t x = modmult(e->val->nnum->value, *t);
        if (negate && !finf && x != 0) x = modulus - x;
        *acc = mod_add(*acc, x, modulus);
        *t = 0;
    }
    static bool look_up(const imag* key, int32_t hash, value* v, Shared*) {
        return int_minor_is_there(key, hash, v);
    }
    static void add_shared(value*, const Shared&, const colm*, bool) {}
    static void store(const imag* key, int32_t hash, value* v, Shared*) { int_stash_minor(key, hash, *v); }
    static bool row_wins_tie(const colm*, int32_t*) { return false; }
    static bool col_wins_tie(int32_t, int32_t*) { return false; }
    static int32_t first_mass(const colm*) { return 0; }
    static bool memory_allows_storing() {
        if (!memory_budgeted() || memavail() >= minor_memory / 6) return true;
        if (fast_garbsize() < 1800000) return false;
        if (init_max_stash_row - 1 > max_stash_row && med_garbsize() > 18000000) resume();
        return true;
    }
    static void resume() { QuolyTwin::resume(); }
};

void QuolyTwin::resume() {
    minor_memory *= 3;
    max_stash_row = init_max_stash_row;
    min_stash_row = init_min_stash;
    minor_count--;
    purged_hits = 0;
    if (verbose)
        std::printf("\n Resuming minor caching.  %lui, %li, %li\n", static_cast<unsigned long>(minor_memory),
                    static_cast<long>(max_stash_row), static_cast<long>(min_stash_row));
}

int32_t row_length(const colm* e) {
    int32_t k = 0;
    for (; e; e = e->next) k++;
    return k;
}

// The windy count of sizes, printed going down and again coming back up.
void count_trace(int32_t m, int32_t side) {
    const int32_t step = side / 100 + 1;
    if (m % step == 0) {
        std::printf(" %li", static_cast<long>(m));
        std::fflush(stdout);
    }
    if (m % (10 * step) == 0) std::printf("\n");
}

// The current position of column number c among the columns still present.
int32_t position_of(int32_t c) {
    int32_t p = 0;
    for (int32_t i = 0; i < c; i++)
        if (sparse_number_col[i] < REMOVED_MARK) p++;
    return p;
}

// *result := the minor's determinant; or, on a stash hit in the quoly twin,
// *shared := the stored value, which the caller uses where it lies.
template <class Twin>
void expand(sparse* frame, typename Twin::value* result, Shared* shared, int32_t m, int32_t side, imag* key) {
    using value = typename Twin::value;
    poll_interrupt();
    if (m == 1) {
        sp_lowcnt++;
        if (const colm* e = *row_head(frame, 1))
            Twin::from_entry(e, result);
        else
            Twin::set_zero(result);
        return;
    }
    bool to_stash = false;
    int32_t hash = 0, prime_then = 0;
    if (min_stash_row <= m && m <= max_stash_row) {
        hash = minorshash(key);
        if (Twin::look_up(key, hash, result, shared)) {
            if (minor_count >= 101) {
                std::printf("*** Out of memory. Minors method fails.\n");
                std::fflush(stdout);
            }
            return;
        }
        prime_then = minorprime;
        to_stash = true;
    }
    Twin::set_zero(result);

    // The sparsest line: rows first, then a column only when strictly sparser.
    int32_t best = 32767, best_mass = 0, best_row = 0, best_col = 0;
    {
        RowWalk w(frame);
        for (int32_t r = 1; r <= m; r++, w.next()) {
            const colm* row = *w.head();
            const int32_t k = row_length(row);
            if (k == 0) {
                sp_lowcnt++;
                return;
            }
            if (k < best) {
                best = k;
                best_row = r;
                best_mass = Twin::first_mass(row);
            } else if (k == best && Twin::row_wins_tie(row, &best_mass)) {
                best_row = r;
            }
        }
    }
    for (int32_t c = 1; c <= side; c++) {
        const int32_t k = sparse_number_col[c - 1];
        if (k == 0) {
            sp_lowcnt++;
            return;
        }
        if (k < best) {
            best = k;
            best_col = c;
            if (Twin::with_mass) best_mass = sparse_mass[c - 1];
        } else if (k == best && Twin::col_wins_tie(c, &best_mass)) {
            best_col = c;
        }
    }

    TraceLevel level;
    const bool deep = dumpitt_level > 8;
    if (verbose && dumpitt_level <= Twin::trace_depth) dumpitt(Twin::label, m, 1, 0, 1);
    if (verbose && dumpitt_level <= 8) {
        if (best_col)
            std::printf("using col %1d.", position_of(best_col));
        else
            std::printf("using row %1d.", best_row);
    }
    if (windy && verbose && deep) {
        if (dumpitt_level == 9) std::printf("\n Counting down and then back up:\n");
        count_trace(m, side);
    }

    value t{};
    struct Scratch {
        value* t;
        ~Scratch() { Twin::release(t); }
    } scratch{&t};

    if (!best_col) {
        const int32_t r = best_row;
        RowOut row(frame, m, r, Twin::with_mass);
        KeyBit row_bit;
        update_row_list(key, r, &row_bit.bit, &row_bit.word);
        for (const colm* e = row.saved; e; e = e->next) {
            sp_total_cnt++;
            const int32_t c = col_number(e);
            const int32_t sign_index = col_position(e) + r;
            ColOut out(frame, c, m - 1);
            KeyBit col_bit;
            update_col_list(key, c, &col_bit.bit, &col_bit.word);
            Shared stored;
            expand<Twin>(frame, &t, &stored, m - 1, side, key);
            if (Twin::with_mass && sign_index < 0) std::printf(" happened 1 \n");
            if (stored.v)
                Twin::add_shared(result, stored, e, sign_index % 2 != 0);
            else if (!Twin::is_zero(t))
                Twin::add_term(result, &t, e, sign_index % 2 != 0);
            Twin::release(&t);
        }
    } else {
        const int32_t c = best_col;
        ColOut out(frame, c, m);
        KeyBit col_bit;
        update_col_list(key, c, &col_bit.bit, &col_bit.word);
        for (const minor_fix* x = out.removed; x; x = x->next) {
            sp_total_cnt++;
            const int32_t sign_index = x->pos + x->row;
            RowOut row(frame, m, x->row, Twin::with_mass);
            KeyBit row_bit;
            update_row_list(key, x->row, &row_bit.bit, &row_bit.word);
            Shared stored;
            expand<Twin>(frame, &t, &stored, m - 1, side, key);
            if (Twin::with_mass && sign_index < 0) std::printf(" happened 2 \n");
            if (stored.v)
                Twin::add_shared(result, stored, x->entry, sign_index % 2 != 0);
            else if (!Twin::is_zero(t))
                Twin::add_term(result, &t, x->entry, sign_index % 2 != 0);
            Twin::release(&t);
        }
    }

    if (windy && verbose && deep) {
        if (m == side / 100) std::printf("\n");
        count_trace(m, side);
    }
    if (!Twin::memory_allows_storing()) return;
    if (to_stash && min_stash_row <= m && m <= max_stash_row) {
        if (minorprime != prime_then) hash = minorshash(key);
        Twin::store(key, hash, result, shared);
    }
}

// What one expansion holds, given back on every exit: the working copy,
// the key, the stash, the running mark and the branch count.
struct MinorsRun {
    sparse* copy = nullptr;
    int32_t n;
    imag* key = nullptr;
    MinorsRun(sparse* matrix, int32_t size) : n(size) {
        minors_running = 1;
        copy_sparse(&matrix, &copy, n, 0);
    }
    ~MinorsRun() {
        free_minor_data(key);
        long stored, hits;
        free_minor_stash(minorprime, &stored, &hits);
        free_sparse(&copy, n, 1);
        sp_total_cnt = 0;
        minors_running = 0;
    }
    MinorsRun(const MinorsRun&) = delete;
    MinorsRun& operator=(const MinorsRun&) = delete;
};

void refuse(int code) {
    error(code, token.name);
    abandon_statement(code);
}

template <class Twin>
void minors_driver(typename Twin::value* result, sparse** matrix, int32_t n) {
    if (n > MAX_MINORS_SIDE) refuse(310);
    if (sp_total_cnt > 0 || minors_running) refuse(309);
    MinorsRun run(*matrix, n);

    for (int32_t c = 0; c < n; c++) {
        sparse_number_col[c] = 0;
        if (Twin::with_mass) sparse_mass[c] = 0;
    }
    {
        RowWalk w(run.copy);
        for (int32_t r = 1; r <= n; r++, w.next())
            for (colm* e = *w.head(); e; e = e->next) {
                const int32_t c = e->col;
                sparse_number_col[c - 1]++;
                if (Twin::with_mass) {
                    const int64_t s = int64_t{sparse_mass[c - 1]} + quoly_mass(e->val);
                    sparse_mass[c - 1] = s < 0 || s > MASS_SATURATED ? MASS_SATURATED : static_cast<int32_t>(s);
                }
                e->col = c * (COLUMN_SCALE + 1);
            }
    }
    minorprime = minorsize(n);
    minorstash = new_frame_chain(minorprime);
    run.key = new_minor_key(n);
    minor_total = 0;
    minor_memory = memavail();
    purged_hits = 0;
    minor_count = 2;
    max_stash_row = init_max_stash_row = n - init_max_stash;
    min_stash_row = init_min_stash;
    sp_total_cnt = sp_lowcnt = 0;

    Shared whole;   // never set: the whole matrix is above the window
    expand<Twin>(run.copy, result, &whole, n, n, run.key);

    if (windy) std::printf("\n");
    free_minor_data(run.key);
    run.key = nullptr;
    long stored = 0, hits = 0;
    free_minor_stash(minorprime, &stored, &hits);
    if (verbose && (Twin::with_mass || windy))
        std::printf(" total branches, leaf count, stash nodes, hits: %li %li %li %li\n", sp_total_cnt, sp_lowcnt,
                    stored, hits + purged_hits);
}

}  // namespace

void sparse_minors_det(quoly** result, sparse** matrix, int32_t n, int*, int) {
    quoly* d = nullptr;
    struct Hold {
        quoly** q;
        ~Hold() { free_quoly(q); }
    } hold{&d};
    minors_driver<QuolyTwin>(&d, matrix, n);
    free_quoly(result);
    *result = d;
    d = nullptr;
}

void int_sparse_minors_det(int32_t* result, sparse** matrix, int32_t n, int*, int) {
    int32_t d = 0;
    minors_driver<ResidueTwin>(&d, matrix, n);
    *result = d;
}

bool minors_may_store(int modular) {
    return modular ? ResidueTwin::memory_allows_storing() : QuolyTwin::memory_allows_storing();
}

void remove_col(sparse* frame, int32_t col, int32_t m, minor_fix** removed, minor_fix** renumbered) {
    *removed = nullptr;
    *renumbered = nullptr;
    minor_fix** tail = removed;
    RowWalk w(frame);
    for (int32_t r = 1; r <= m; r++, w.next()) {
        colm** p = w.head();
        while (*p && col_number(*p) < col) p = &(*p)->next;
        if (*p && col_number(*p) == col) {
            colm* e = *p;
            minor_fix* x = take_fix();
            x->link = p;
            x->entry = e;
            x->row = r;
            x->pos = col_position(e);
            x->next = nullptr;
            *tail = x;
            tail = &x->next;
            *p = e->next;
        }
        if (colm* right = *p) {
            minor_fix* x = take_fix();
            x->entry = right;
            x->next = *renumbered;
            *renumbered = x;
            for (colm* e = right; e; e = e->next) e->col--;
        }
    }
    sparse_number_col[col - 1] += REMOVED_MARK;
}

void restore_col(int32_t col, minor_fix* removed, minor_fix* renumbered) {
    sparse_number_col[col - 1] -= REMOVED_MARK;
    // One entry per row was unlinked, so each saved link is valid again once
    // the removals nested inside have been undone.
    for (minor_fix* x = removed; x; x = x->next) {
        x->entry->next = *x->link;
        *x->link = x->entry;
    }
    for (minor_fix* x = renumbered; x; x = x->next)
        for (colm* e = x->entry; e; e = e->next) e->col++;
    give_fixes(removed);
    give_fixes(renumbered);
}

void update_col_list(imag* key, int32_t col, int32_t* bit, numnode** word) {
    numnode* d = key->head;
    for (int32_t i = (col - 1) / 32; i > 0; i--) d = d->next;
    *bit = (col - 1) % 32;
    *word = d;
    d->digit = static_cast<int32_t>(static_cast<uint32_t>(d->digit) & ~(1u << *bit));
}

void update_row_list(imag* key, int32_t r, int32_t* bit, numnode** word) {
    int32_t seen = 0;
    for (numnode* d = key->tail; d; d = d->next) {
        const uint32_t bits = static_cast<uint32_t>(d->digit);
        for (int32_t b = 0; b < 32; b++) {
            if (!(bits & (1u << b))) continue;
            if (++seen == r) {
                *bit = b;
                *word = d;
                d->digit = static_cast<int32_t>(bits & ~(1u << b));
                return;
            }
        }
    }
    tarvex_error("update_row_list", 1);
}
