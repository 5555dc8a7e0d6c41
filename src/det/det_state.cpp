#include "det/det_state.h"

#include <cstring>

#include "gcd/gcdstash.h"
#include "numbers/numbers.h"
#include "storage/assign.h"
#include "storage/workblocks.h"

namespace {
array dup_record = [] {
    array a{};
    std::strcpy(a.name, "  ");
    a.hash = 65535;
    a.last = -1;
    return a;
}();
}  // namespace

array* duparr = &dup_record;
quoly** dupptr = nullptr;
quoly** mod_mode_matrix = nullptr;
int32_t mod_matrix_size = -1;
int mod_mode_matrix_in_use = 0;
int32_t smallsize = 15;
int32_t sizeval = 2600;

void check_mod_matrix_size(int32_t n) {
    if (!mod_mode_matrix) mod_mode_matrix = new quoly*[WORK_BLOCK_CELLS]();
    const int32_t want = n * n - 1;
    while (mod_matrix_size < want) {
        quoly* q = nullptr;
        newquoly(&q);
        q->isnum = 1;
        q->rat = 0;
        q->den = nullptr;
        q->nnum = new_number();
        q->nnum->value = 0;
        mod_mode_matrix[++mod_matrix_size] = q;
    }
}

DupGuard::DupGuard(const char* name, quoly** cells, int32_t n) {
    std::strncpy(duparr->name, name, sizeof duparr->name - 1);
    duparr->name[sizeof duparr->name - 1] = 0;
    duparr->first = 0;
    duparr->last = n * n - 1;
    duparr->rows = n;
    dupptr = cells;
}

DupGuard::~DupGuard() {
    dupptr = nullptr;
    std::strcpy(duparr->name, "  ");
    duparr->last = -1;
}

WorkCopy::WorkCopy(quoly** src, int64_t n, const char* token) {
    int32_t slot = 0;
    enew_worknode(&slot, token);
    cells = workhead[slot - 1];
    if (!src) return;
    for (int64_t i = 0; i < n; i++) {
        cells[i] = nullptr;
        quoly_assign(src[i], &cells[i]);
        count = i + 1;
    }
}

void WorkCopy::release_cells() {
    for (int64_t i = 0; i < count; i++) free_quoly(&cells[i]);
    count = 0;
}

WorkCopy::~WorkCopy() {
    release_cells();
    free_work();
}

ModMatrixLease::ModMatrixLease(int32_t n) {
    if (mod_mode_matrix_in_use) return;
    check_mod_matrix_size(n);
    mod_mode_matrix_in_use = 1;
    cells = mod_mode_matrix;
}

ModMatrixLease::~ModMatrixLease() {
    if (cells) mod_mode_matrix_in_use = 0;
}

GcdStashLevel::GcdStashLevel() { init_gcd_stash(); }

GcdStashLevel::~GcdStashLevel() {
    lookupgcd = static_cast<int16_t>(lookupgcd - 1);
    if (lookupgcd == 0) free_gcd_stash();
}
