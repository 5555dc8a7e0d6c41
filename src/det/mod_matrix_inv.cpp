#include "det/mod_matrix_inv.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "det/word_arith.h"
#include "gcd/modgcd.h"
#include "gcd/modswitch.h"
#include "matrix/measures.h"
#include "numbers/flat_int.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "toplevel/errors.h"

namespace {

// The table primes from the 6th on that do not divide the determinant,
// until their product M exceeds twice the bound (the symmetric range
// needs both signs). Empty when the tables run out first.
std::vector<int32_t> choose_primes(imag* det, imag* bound, imag* M, int32_t* last_index) {
    std::vector<int32_t> used;
    imag* twice = new_number();
    imag* two = new_number();
    setvalue(0, twice);
    setvalue(2, two);
    multiply(bound, two, twice);
    setvalue(1, M);
    bool enough = false;
    for (int32_t e = 6; e <= PRIME_COUNT && !enough; e++) {
        const int32_t p = prime[e - 1]->value;
        // Modulo such a prime the image is singular.
        if (chain_residue(det, p) == 0) continue;
        setvalue(p, two);
        multiply(M, two, M);
        used.push_back(p);
        *last_index = e;
        enough = bigger(M, twice) != 0;
    }
    free_imag(&two);
    free_imag(&twice);
    if (!enough) used.clear();
    return used;
}

// The image of A modulo p, times det mod p: adj(A) mod p, in img.
void adjoint_image(quoly** in_cells, int32_t n, imag* det, int32_t p, sparse** sparse_slot,
                   std::vector<int32_t>& img) {
    const int64_t count = int64_t{n} * n;
    ModularSwitch sw;
    sw.set_prime(p);
    // The cells' value words take the residues; their digits stay as they are.
    struct Words {
        quoly** cells;
        int64_t count;
        std::vector<int32_t> saved;
        ~Words() {
            for (int64_t c = 0; c < count; c++) cells[c]->nnum->value = saved[static_cast<size_t>(c)];
        }
    } words{in_cells, count, std::vector<int32_t>(static_cast<size_t>(count))};
    for (int64_t c = 0; c < count; c++) {
        words.saved[static_cast<size_t>(c)] = in_cells[c]->nnum->value;
        in_cells[c]->nnum->value = chain_residue(in_cells[c]->nnum, p);
    }
    const int32_t det_p = chain_residue(det, p);
    sw.begin_arithmetic();
    struct Cells {
        std::vector<quoly*> w;
        ~Cells() {
            for (quoly*& q : w) free_quoly(&q);
        }
    } image{std::vector<quoly*>(static_cast<size_t>(count), nullptr)};
    quoly* d = nullptr;
    quoly_set(1, &d);
    struct Own {
        quoly** q;
        ~Own() { free_quoly(q); }
    } own{&d};
    mat_invert(in_cells, image.w.data(), 0, 0, n, &d, 1, 0, sparse_slot, nullptr, -1, -1, -1, 0, 0);
    for (int64_t c = 0; c < count; c++)
        img[static_cast<size_t>(c)] = modmult(det_p, image.w[static_cast<size_t>(c)]->nnum->value);
}

// ---- beyond the tables: word primes ----

// The products of the primes over the halves the sums below split into,
// heap-numbered (node 1 the whole range).
struct ProductTree {
    const std::vector<uint32_t>& p;
    std::vector<FlatInt> at;
    explicit ProductTree(const std::vector<uint32_t>& primes) : p(primes), at(4 * primes.size() + 4) {
        build(1, 0, p.size());
    }
    void build(size_t node, size_t lo, size_t hi) {
        if (hi - lo == 1) {
            flat_set(static_cast<int32_t>(p[lo]), at[node]);
            return;
        }
        const size_t mid = (lo + hi) / 2;
        build(2 * node, lo, mid);
        build(2 * node + 1, mid, hi);
        flat_mul(at[2 * node], at[2 * node + 1], at[node]);
    }
    // out := the sum over the range of t[i] x (the product of the range's
    // other primes): the sum of the halves', each times the other half's
    // product.
    void sum(size_t node, size_t lo, size_t hi, const uint32_t* t, FlatInt& out) const {
        if (hi - lo == 1) {
            flat_set(static_cast<int32_t>(t[lo]), out);
            return;
        }
        const size_t mid = (lo + hi) / 2;
        FlatInt l, r, a, b;
        sum(2 * node, lo, mid, t, l);
        sum(2 * node + 1, mid, hi, t, r);
        flat_mul(l, at[2 * node + 1], a);
        flat_mul(r, at[2 * node], b);
        b.sign = -b.sign;
        flat_sub(a, b, out);
    }
};

// The primes below 2^31 that do not divide the determinant, until their
// product M exceeds twice the bound: each image carries twice a table
// prime's bits.
std::vector<uint32_t> choose_word_primes(imag* det, imag* bound, FlatInt& M) {
    FlatInt twice, t, m2;
    flat_read(bound, t);
    flat_set(2, twice);
    flat_mul(t, twice, m2);
    twice = std::move(m2);
    flat_set(1, M);
    std::vector<uint32_t> primes;
    for (int32_t k = 1; flat_cmp_abs(M, twice) <= 0; k++) {
        const int32_t p = word_prime_at(k);
        if (chain_residue(det, p) == 0) continue;
        primes.push_back(static_cast<uint32_t>(p));
        flat_set(p, t);
        flat_mul(M, t, m2);
        M = std::move(m2);
    }
    return primes;
}

// out_cells := adj(A) (or A^-1) from its images modulo the primes, whose
// product M exceeds twice the bound and none of which divides det(A). The
// images are joined once per cell by sums over a tree of the primes'
// products, with the fast products; out_cells are written only after
// every image was taken. Returns 0, nothing written, when the images would
// not fit in memory (they are about as large as the adjoint itself).
int adjoint_from_images(quoly** in_cells, quoly** out_cells, int out_filled, int32_t n, quoly** det_slot,
                        sparse** sparse_slot, int divide_by_det, const std::vector<uint32_t>& primes,
                        const FlatInt& M) {
    LintOff digits;
    imag* det = (*det_slot)->nnum;
    const int64_t count = int64_t{n} * n;
    const size_t P = primes.size();
    if (double(count) * double(P) * 4 > 4e9) return 0;
    // w_i := (M / p_i)^-1 mod p_i.
    std::vector<uint32_t> w(P);
    for (size_t i = 0; i < P; i++) {
        const uint64_t p = primes[i];
        uint64_t prod = 1;
        for (size_t j = 0; j < P; j++)
            if (j != i) prod = prod * (primes[j] % p) % p;
        w[i] = static_cast<uint32_t>(wordmod::inverse_mod(static_cast<int64_t>(prod), static_cast<int64_t>(p)));
    }
    // images[c * P + i] := adj(A)[c] x w_i mod p_i.
    std::vector<uint32_t> images(static_cast<size_t>(count) * P);
    std::vector<int32_t> img(static_cast<size_t>(count));
    for (size_t i = 0; i < P; i++) {
        poll_interrupt();
        if (verbose) std::printf(" %d", static_cast<int>(i + 1));
        adjoint_image(in_cells, n, det, static_cast<int32_t>(primes[i]), sparse_slot, img);
        const uint64_t p = primes[i];
        for (int64_t c = 0; c < count; c++)
            images[static_cast<size_t>(c) * P + i] =
                static_cast<uint32_t>(static_cast<uint64_t>(img[static_cast<size_t>(c)]) * w[i] % p);
    }
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("Finishing up Chinese Remainder Theorem.\n");
    }
    const ProductTree tree(primes);
    std::vector<imag*> values(static_cast<size_t>(count), nullptr);
    struct Values {
        std::vector<imag*>& v;
        ~Values() {
            for (imag*& x : v)
                if (x) free_imag(&x);
        }
    } held{values};
    FlatInt sum, x, twice_x, two, t;
    flat_set(2, two);
    for (int64_t c = 0; c < count; c++) {
        poll_interrupt();
        tree.sum(1, 0, P, &images[static_cast<size_t>(c) * P], sum);
        // The sum is congruent to the entry modulo M; the symmetric range.
        flat_rem(sum, M, x);
        flat_mul(x, two, twice_x);
        if (flat_cmp_abs(twice_x, M) > 0) {
            flat_sub(x, M, t);
            x = t;
        }
        values[static_cast<size_t>(c)] = new_number();
        flat_write(x, values[static_cast<size_t>(c)]);
    }
    for (int64_t c = 0; c < count; c++) {
        if (!out_filled) out_cells[c] = nullptr;
        scalar_to_quoly(values[static_cast<size_t>(c)], &out_cells[c]);
        if (divide_by_det) fast_quoly_quot(&out_cells[c], det_slot, 0);
    }
    return 1;
}

}  // namespace

int mod_matrix_inv(quoly** in_cells, quoly** out_cells, int out_filled, int32_t n, quoly** det_slot,
                   quoly** bound_slot, sparse** sparse_slot, int divide_by_det) {
    struct Slots {
        quoly** a;
        quoly** b;
        ~Slots() {
            free_quoly(a);
            free_quoly(b);
        }
    } slots{det_slot, bound_slot};
    imag* det = (*det_slot)->nnum;
    imag* bound = (*bound_slot)->nnum;
    FlatInt M;
    std::vector<uint32_t> primes;
    int32_t last_index = 0;
    if (7 * bound->count < 2400) {
        imag* m = new_number();
        const std::vector<int32_t> table = choose_primes(det, bound, m, &last_index);
        flat_read(m, M);
        free_imag(&m);
        primes.assign(table.begin(), table.end());
    }
    // Beyond the tables, as many word primes as the bound needs.
    if (primes.empty()) {
        LintOff digits;
        primes = choose_word_primes(det, bound, M);
        last_index = static_cast<int32_t>(primes.size());
    }
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("Modular algorithm, counting to %d\n", last_index);
    }
    return adjoint_from_images(in_cells, out_cells, out_filled, n, det_slot, sparse_slot, divide_by_det, primes, M);
}

int adjoint_crt_inverse(quoly** cells, quoly** dest, int dest_in_place, int32_t n, sparse** sparse_ref) {
    quoly* det = nullptr;
    quoly* bound = nullptr;
    struct Slots {
        quoly** a;
        quoly** b;
        ~Slots() {
            free_quoly(a);
            free_quoly(b);
        }
    } slots{&det, &bound};
    quoly_set(-1, &bound);
    quoly_set(0, &det);
    set_min_cut(n);
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("All integers; adjoint-CRT Method; first compute det: \n");
    }
    int_determ(&det, nullptr, cells, n, &bound);
    if (iszero(det->nnum)) {
        error(44, "/");
        abandon_statement(44);
    }
    // The images are all read before the first dest cell is written, so
    // dest may be the cells themselves.
    if (mod_matrix_inv(cells, dest, dest_in_place, n, &det, &bound, sparse_ref, 1)) return 1;
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("Abandon adjoint-CRT method (too many primes). \n");
    }
    return 0;
}
