#include "det/mod_matrix_inv.h"

#include <cstdio>
#include <vector>

#include "det/int_determ.h"
#include "det/mat_invert.h"
#include "gcd/modswitch.h"
#include "matrix/measures.h"
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

// Number records freed on every exit.
struct Numbers {
    std::vector<imag*> v;
    imag* add() {
        v.push_back(new_number());
        setvalue(0, v.back());
        return v.back();
    }
    ~Numbers() {
        for (imag*& x : v) free_imag(&x);
    }
};

// The image of A modulo p, times det mod p: adj(A) mod p, in img. Also
// *weight_inv := (M / p)^-1 mod p, taken while p is installed.
void adjoint_image(quoly** in_cells, int32_t n, imag* det, imag* m_over_p, int32_t p, sparse** sparse_slot,
                   std::vector<int32_t>& img, int32_t* weight_inv) {
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
    mod_inverse(chain_residue(m_over_p, p), weight_inv);
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
    if (7 * bound->count >= 2400) return 0;

    Numbers nums;
    imag* M = nums.add();
    int32_t last_index = 0;
    const std::vector<int32_t> primes = choose_primes(det, bound, M, &last_index);
    if (primes.empty()) return 0;
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("Modular algorithm, counting to %d\n", last_index);
    }

    const int64_t count = int64_t{n} * n;
    // The running sums of e_p x image, one per cell, held until the end so
    // that out_cells are written only on success.
    Numbers sums;
    for (int64_t c = 0; c < count; c++) sums.add();
    imag* m_over_p = nums.add();
    imag* rest = nums.add();
    imag* weight = nums.add();
    imag* factor = nums.add();
    imag* term = nums.add();
    std::vector<int32_t> img(static_cast<size_t>(count));
    for (size_t k = 0; k < primes.size(); k++) {
        poll_interrupt();
        const int32_t p = primes[k];
        setvalue(p, factor);
        pos_divide(M, factor, m_over_p, rest);
        int32_t inv = 0;
        if (verbose) std::printf(" %d", static_cast<int>(k + 1));
        adjoint_image(in_cells, n, det, m_over_p, p, sparse_slot, img, &inv);
        // e_p = (M / p) x ((M / p)^-1 mod p): 1 modulo p, 0 modulo the others.
        setvalue(inv, factor);
        multiply(m_over_p, factor, weight);
        for (int64_t c = 0; c < count; c++) {
            const int32_t r = img[static_cast<size_t>(c)];
            if (r == 0) continue;
            setvalue(r, factor);
            multiply(weight, factor, term);
            fastsum(sums.v[static_cast<size_t>(c)], term);
        }
    }
    if (verbose) {
        std::printf("\n%*s", 3 * dumpitt_level, "");
        std::printf("Finishing up Chinese Remainder Theorem.\n");
    }

    imag* half = nums.add();
    imag* two = nums.add();
    setvalue(2, two);
    pos_divide(M, two, half, rest);
    imag* quot = nums.add();
    for (int64_t c = 0; c < count; c++) {
        imag* s = sums.v[static_cast<size_t>(c)];
        pos_divide(s, M, quot, rest);
        if (bigger(rest, half))
            sub(rest, M, s);
        else
            num_assign(rest, s);
        if (!out_filled) out_cells[c] = nullptr;
        scalar_to_quoly(s, &out_cells[c]);
        if (divide_by_det) fast_quoly_quot(&out_cells[c], det_slot, 0);
    }
    return 1;
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
