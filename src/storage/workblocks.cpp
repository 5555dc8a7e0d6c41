// Work blocks, the memory accounting and the storage report.
#include "storage/workblocks.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "gcd/gcdstash.h"
#include "interp/scalars.h"
#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/stash.h"
#include "toplevel/datafiles.h"
#include "toplevel/errors.h"

quoly** workhead[WORK_BLOCKS] = {};
int32_t first_available = 1;

// ---------------------------------------------------------------- work blocks

void enew_worknode(int32_t* slot, const char* token) {
    if (first_available > WORK_BLOCKS) {
        // The caller has no block to work in.
        error(88, token);
        abandon_statement();
    }
    if (!workhead[first_available - 1]) workhead[first_available - 1] = new quoly*[WORK_BLOCK_CELLS];
    first_available++;
    *slot = first_available - 1;
    if (*slot < 1 || *slot > WORK_BLOCKS) tarvex_error("first available.", 0);
}

void free_work() {
    if (first_available > 1) first_available--;
}

// ---------------------------------------------------------------- memory

void find_total_available_memory() {
    if (totalavailablememory <= 9) totalavailablememory = int64_t{1} << 32;
}

uint64_t memavail() {
    const uint64_t total = totalavailablememory > 0 ? static_cast<uint64_t>(totalavailablememory) : 0;
    uint64_t used = 0;
    for (stash* s : {polystash, quolystash, numstash, imagstash, colmstash}) {
        if (s) used += static_cast<uint64_t>(s->slug_size) * static_cast<uint64_t>(s->slugs_used);
        if (used >= total) return 0;
    }
    return total - used;
}

namespace {

constexpr int64_t NO_CAP = INT64_MAX - 1;

// Length of a free list, stopping at cap + 1.
template <class T, T* T::*Link>
int64_t list_length(const T* p, int64_t cap = NO_CAP) {
    int64_t n = 0;
    for (; p && n <= cap; p = p->*Link) n++;
    return n;
}

struct Caps {
    int64_t digits, numbers, polys, quolys;   // quolys < 0: not counted
};

int64_t capped_garbsize(const Caps& c) {
    int64_t bytes = numnodesize * list_length<numnode, &numnode::next>(numhead, c.digits) +
                    numbersize * list_length<imag, &imag::link>(imhead, c.numbers) +
                    polynodesize * list_length<polynode, &polynode::next>(polygarb, c.polys);
    if (c.quolys >= 0) bytes += quolysize * list_length<quoly, &quoly::link>(quolygarb, c.quolys);
    return bytes;
}

}  // namespace

int64_t garbsize() { return capped_garbsize({NO_CAP, NO_CAP, NO_CAP, NO_CAP}); }
int64_t fast_garbsize() { return capped_garbsize({60000, 100000, 100000, 30000}); }
int64_t med_garbsize() { return capped_garbsize({1000000, 1000000, 1000000, 100000}); }
int64_t big_garbsize() { return capped_garbsize({1000000, 6000000, 10000000, -1}); }

// ---------------------------------------------------------------- address order

namespace {

// Full addresses are sorted: they do not fit the 32-bit words of quiksort.
template <class T, T* T::*Link>
void address_order(T** head, std::vector<T*>& scratch) {
    if (!*head) return;
    if (scratch.capacity() == 0) scratch.reserve(CLEAN_UP_LIMIT);
    scratch.clear();
    T* p = *head;
    for (; p && static_cast<int32_t>(scratch.size()) < CLEAN_UP_LIMIT; p = p->*Link) scratch.push_back(p);
    std::sort(scratch.begin(), scratch.end(), std::less<T*>());
    for (size_t i = 0; i + 1 < scratch.size(); i++) scratch[i]->*Link = scratch[i + 1];
    scratch.back()->*Link = p;   // the unsorted rest of a longer list
    *head = scratch.front();
}

std::vector<colm*> colmar;
std::vector<polynode*> polyar;
std::vector<quoly*> quolyar;
std::vector<imag*> impar;

}  // namespace

void clean_up_colm() { address_order<colm, &colm::next>(&colm_garb, colmar); }
void clean_up_poly() { address_order<polynode, &polynode::next>(&polygarb, polyar); }
void clean_up_quoly() { address_order<quoly, &quoly::link>(&quolygarb, quolyar); }
void clean_up_imp() { address_order<imag, &imag::link>(&imhead, impar); }

// ---------------------------------------------------------------- the report

namespace {

// Counts a list; with listing set, prints each record first.
template <class T, T* T::*Link, class Print>
unsigned long count_list(const T* head, bool listing, Print print) {
    unsigned long n = 0;
    for (const T* p = head; p; p = p->*Link, n++)
        if (listing) print(p);
    return n;
}

template <class T, T* T::*Link>
unsigned long count_list(const T* head) {
    return count_list<T, Link>(head, false, [](const T*) {});
}

}  // namespace

void garbage(int mode) {
    const bool g = mode == 'G';
    int64_t total = 0;

    unsigned long n = count_list<numnode, &numnode::next>(numhead, g, [](const numnode* d) {
        std::printf("%li\n", static_cast<long>(d->digit));
    });
    std::printf("num count: %lu, %li\n", n, 8L);
    total += 8 * int64_t(n);

    n = count_list<imag, &imag::link>(imhead);
    std::printf("im count: %lu, %li\n", n, 20L);
    std::fflush(stdout);
    total += 20 * int64_t(n);

    n = count_list<var, &var::next>(var_garb, g, [](const var* v) { std::printf("%s\n", v->name); });
    if (n) std::printf("var count: %lu\n", n);
    total += 28 * int64_t(n);

    n = count_list<array, &array::link>(arr_garb, g, [](const array* a) { std::printf("%s\n", a->name); });
    if (n) std::printf("array count: %lu, %li\n", n, 68L);
    total += 68 * int64_t(n);

    n = count_list<name, &name::next>(name_garb, g, [](const name* t) { std::printf("%s\n", t->token); });
    if (n) std::printf("name count: %lu\n", n);
    total += 40 * int64_t(n);

    n = count_list<fix, &fix::next>(fixgarb);
    if (n) std::printf("fix count: %lu\n", n);
    total += 16 * int64_t(n);

    n = count_list<polynode, &polynode::next>(polygarb, g, [](const polynode* p) {
        std::printf("%li\n", static_cast<long>(p->exp));
    });
    std::printf("poly count: %lu, %li\n", n, 16L);
    total += 16 * int64_t(n);

    n = count_list<quoly, &quoly::link>(quolygarb);
    std::printf("quoly count: %lu, %li\n", n, 20L);
    total += 20 * int64_t(n);

    n = count_list<sparse, &sparse::next>(spargarb);
    if (n) std::printf("sparse count: %lu, %d\n", n, SPARSE_FRAME_ROWS);
    total += 8197 * int64_t(n);

    struct Line {
        const char* format;
        unsigned long count;
        int64_t bytes;
    };
    const Line lines[] = {
        {"colm count: %lu\n", count_list<colm, &colm::next>(colm_garb), 12},
        {"matrix col count: %lu\n", count_list<col, &col::next>(colgarb), 16},
        {"poly pointer count: %lu\n", count_list<pt, &pt::next>(pt_garb), 64},
        {"form node count: %lu\n", count_list<form, &form::next>(formhead), 12},
        {"cond expr count: %lu\n", count_list<cond, &cond::link>(condhead), 24},
    };
    for (const Line& l : lines) {
        if (l.count) std::printf(l.format, l.count);
        total += l.bytes * int64_t(l.count);
    }

    unsigned long k = 0;
    while (k < WORK_BLOCKS && workhead[k]) k++;
    if (k) std::printf("work arrays: %lu, %d\n", k, 4000000);
    total += int64_t(k) * WORK_BLOCK_BYTES;

    std::printf("total garbage: %lu\n", static_cast<unsigned long>(total));
    const int64_t system = mass_gcd_stash() + size_data_strucs;
    std::printf("system data size: %lu\n", static_cast<unsigned long>(system));
    std::printf("total size: %lu\n", static_cast<unsigned long>(total + system));
    std::fflush(stdout);
}
