// Dense residue arrays: the work arrays, the dense scratch, and the kernels
// on arrays (products, sums with shifts, splitting, remainders, Euclid).
//
// The Karatsuba recursion works on relative ranges (operand words from
// index 0) and takes each level's temporaries from the dense scratch, so
// its depth costs no stack beyond a few words per level.
#include "poly/dense.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "toplevel/errors.h"

int32_t fast_gcd_size = 22008;
uint32_t* xx = nullptr;
uint32_t* yy = nullptr;
uint32_t* zz = nullptr;
uint32_t (*x2)[POLY2_SIDE] = nullptr;
uint32_t (*y2)[POLY2_SIDE] = nullptr;
uint32_t (*z2)[POLY2_SIDE] = nullptr;

namespace {

[[noreturn]] void dense_fatal(const char* message) {
    tarvex_error(message, 1);
    std::abort();   // not reached: the fatal flag always unwinds
}

// ---------------------------------------------------------------- dense scratch
//
// A stack of word blocks. Blocks are never moved or freed, so a pointer a
// level took stays valid while deeper levels take more; when the current
// block is full the next one is used (made, or replaced by a larger one,
// when missing or too small: blocks past the current one hold nothing).

// A product filling the work arrays (degrees summing to 22,008, split any
// way) needs at most about 2.7 x 22,009 words at any cut-off, against the
// 3 x 22,009 per level, times the depth, of a stack-array layout; the first
// block holds 4 x 22,009.
constexpr size_t SCRATCH_FIRST_BLOCK = 4 * static_cast<size_t>(DENSE_WORDS);

struct ScratchBlock {
    std::unique_ptr<uint32_t[]> words;
    size_t size;
};

std::vector<ScratchBlock> scratch_blocks;
size_t scratch_block = 0;   // block now being filled
size_t scratch_top = 0;     // words of it in use

void add_scratch_block(size_t at, size_t words) {
    ScratchBlock b{std::unique_ptr<uint32_t[]>(new uint32_t[words]), words};
    if (at < scratch_blocks.size())
        scratch_blocks[at] = std::move(b);
    else
        scratch_blocks.push_back(std::move(b));
}

// One recursion level's hold on the scratch: everything taken through it
// is given back when it goes out of scope, on return or unwinding.
class ScratchFrame {
public:
    ScratchFrame() : block_(scratch_block), top_(scratch_top) {}
    ~ScratchFrame() {
        scratch_block = block_;
        scratch_top = top_;
    }
    ScratchFrame(const ScratchFrame&) = delete;
    ScratchFrame& operator=(const ScratchFrame&) = delete;

    uint32_t* take(size_t n) {
        if (scratch_blocks.empty()) add_scratch_block(0, std::max(n, SCRATCH_FIRST_BLOCK));
        if (scratch_blocks[scratch_block].size - scratch_top < n) {
            size_t next = scratch_block + 1;
            if (next >= scratch_blocks.size() || scratch_blocks[next].size < n)
                add_scratch_block(next, std::max(n, SCRATCH_FIRST_BLOCK));
            scratch_block = next;
            scratch_top = 0;
        }
        uint32_t* p = scratch_blocks[scratch_block].words.get() + scratch_top;
        scratch_top += n;
        return p;
    }

private:
    size_t block_;
    size_t top_;
};

// ---------------------------------------------------------------- word arithmetic

// The current ground ring as the kernels need it, read once per call.
struct Ring {
    uint32_t p;
    bool xor_sum;      // GF(2^8), GF(2^16): sums are exclusive ors, products by table
    bool plain_sum;    // p <= 2^30: one add and one conditional subtract
    bool small_prod;   // p < 65,536: a product fits 32 bits, plain remainder
};

Ring current_ring() {
    Ring r;
    r.p = static_cast<uint32_t>(modulus);
    r.xor_sum = finf != 0;
    r.plain_sum = !finf && modulus <= (1 << 30);
    r.small_prod = !finf && modulus < 65536;
    return r;
}

inline int32_t s32(uint32_t v) { return static_cast<int32_t>(v); }

inline uint32_t add_w(const Ring& r, uint32_t a, uint32_t b) {
    if (r.plain_sum) {
        uint32_t s = a + b;
        return s >= r.p ? s - r.p : s;
    }
    return static_cast<uint32_t>(mod_add(s32(a), s32(b), s32(r.p)));
}

inline uint32_t sub_w(const Ring& r, uint32_t a, uint32_t b) {
    if (r.plain_sum) return a >= b ? a - b : a + r.p - b;
    return static_cast<uint32_t>(mod_sub(s32(a), s32(b), s32(r.p)));
}

inline uint32_t mul_w(uint32_t a, uint32_t b) { return static_cast<uint32_t>(modmult(s32(a), s32(b))); }

// ---------------------------------------------------------------- products, relative ranges

// z[0 .. dx+dy] := x[0 .. dx] * y[0 .. dy], modmult and mod_add for every
// product. Outside characteristic 2 those are a 64-bit product, a remainder
// and one conditional subtract, written out here.
void slow_convolve(const Ring& r, const uint32_t* x, int32_t dx, const uint32_t* y, int32_t dy,
                   uint32_t* z) {
    for (int32_t k = 0; k <= dx + dy; k++) {
        int32_t lo = std::max(0, k - dy), hi = std::min(dx, k);
        uint32_t s = 0;
        if (r.xor_sum) {
            for (int32_t i = lo; i <= hi; i++) s ^= mul_w(x[i], y[k - i]);
        } else {
            for (int32_t i = lo; i <= hi; i++) {
                uint32_t t = static_cast<uint32_t>(uint64_t{x[i]} * y[k - i] % r.p);
                s = add_w(r, s, t);
            }
        }
        z[k] = s;
    }
}

// Plain remainders below 65,536: each reduced product is below 65,535, so a
// 32-bit sum holds 65,537 of them; longer convolutions go the slow way.
constexpr int32_t PLAIN_SUM_TERMS = 65537;

void convolve(const Ring& r, const uint32_t* x, int32_t dx, const uint32_t* y, int32_t dy,
              uint32_t* z) {
    if (!r.small_prod || std::min(dx, dy) >= PLAIN_SUM_TERMS) {
        slow_convolve(r, x, dx, y, dy, z);
        return;
    }
    const uint32_t p = r.p;
    for (int32_t k = 0; k <= dx + dy; k++) {
        int32_t lo = std::max(0, k - dy), hi = std::min(dx, k);
        uint32_t s = 0;
        for (int32_t i = lo; i <= hi; i++) s += x[i] * y[k - i] % p;
        z[k] = s % p;
    }
}

[[noreturn]] void bad_zero(const char* message, int32_t i, int32_t j, uint32_t a, uint32_t b) {
    std::printf("bad 0: %li, %li, %li, %li\n", static_cast<long>(i), static_cast<long>(j),
                static_cast<long>(a), static_cast<long>(b));
    dense_fatal(message);
}

// The schoolbook product of onevar_mult on relative ranges, with its checks.
void checked_convolve(const Ring& r, const uint32_t* x, int32_t dx, const uint32_t* y, int32_t dy,
                      uint32_t* z, int32_t xlo, int32_t ylo) {
    if (dx < 0 || dy < 0) {
        std::printf(" ** bad exps onevar %li, %li, %li, %li\n", static_cast<long>(xlo),
                    static_cast<long>(xlo + dx), static_cast<long>(ylo), static_cast<long>(ylo + dy));
        dense_fatal("potential 0 in onevar_mult.");
    }
    if (x[dx] == 0 || y[dy] == 0) {
        std::printf(" ** bad upper limits, onevar %li, %li, %li, %li, %li, %li\n",
                    static_cast<long>(x[dx]), static_cast<long>(y[dy]), static_cast<long>(xlo),
                    static_cast<long>(xlo + dx), static_cast<long>(ylo), static_cast<long>(ylo + dy));
        dense_fatal("0 upper value in onevar_mult.");
    }
    convolve(r, x, dx, y, dy, z);
}

// Karatsuba: z[0 .. dx+dy] := x[0 .. dx] * y[0 .. dy]; x[0] and y[0] non-zero
// (the caller skipped leading zero words), x[dx] and y[dy] non-zero.
//
// Balanced operands (the longer at most twice the shorter) are split at m,
// half the shorter span: A = A0 + x^m A1. A0*B0 goes straight into the low
// end of z and A1*B1 into its high end (they do not overlap: A0*B0 ends
// below 2m - 1), (A0 + A1)(B0 + B1) into the scratch, and the middle
// product, that less the other two, is added in at m. Less balanced
// operands are cut into a low part of B and a top part as long as A. The
// top words of A1, A0 + A1 and B's top part are A's and B's own top words,
// so every recursive range is valid.
void kara(const Ring& r, const uint32_t* x, int32_t dx, const uint32_t* y, int32_t dy,
          uint32_t* z, int32_t cut) {
    if (dx < cut || dy < cut) {
        checked_convolve(r, x, dx, y, dy, z, 0, 0);
        return;
    }
    const uint32_t* a = x;
    const uint32_t* b = y;
    int32_t sa = dx, sb = dy;
    if (dy < dx) {
        std::swap(a, b);
        std::swap(sa, sb);
    }
    if (15 * int64_t{sa} < sb) {
        convolve(r, a, sa, b, sb, z);
        return;
    }
    if (a[sa] == 0 || b[sb] == 0) bad_zero("bad 0 three in fast_array_onevar_mult.", sa, sb, a[sa], b[sb]);

    ScratchFrame frame;
    if (2 * sa > sb) {
        const int32_t m = sa / 2;
        int32_t a0 = m - 1, b0 = m - 1;
        while (a0 >= 0 && a[a0] == 0) a0--;
        while (b0 >= 0 && b[b0] == 0) b0--;
        if (a0 < 0 || b0 < 0) bad_zero(" bad 0 one in fast_array_onevar_mult.", a0, b0, 0, 0);
        const int32_t a1 = sa - m, b1 = sb - m;   // spans of the high parts (a1 > a0)
        const int32_t mid = a1 + b1;              // span of the middle and top products

        // A0*B0 low, A1*B1 high; the word between them cleared.
        fast_array_onevar_mult(a, b, z, 0, a0, 0, b0);
        std::fill(z + a0 + b0 + 1, z + 2 * m, 0u);
        fast_array_onevar_mult(a + m, b + m, z + 2 * m, 0, a1, 0, b1);

        uint32_t* sum_a = frame.take(static_cast<size_t>(a1) + 1);
        uint32_t* sum_b = frame.take(static_cast<size_t>(b1) + 1);
        uint32_t* p1 = frame.take(static_cast<size_t>(mid) + 1);
        for (int32_t i = 0; i <= a1; i++) sum_a[i] = i <= a0 ? add_w(r, a[i], a[m + i]) : a[m + i];
        for (int32_t i = 0; i <= b1; i++) sum_b[i] = i <= b0 ? add_w(r, b[i], b[m + i]) : b[m + i];
        if (sum_a[a1] == 0 || sum_b[b1] == 0)
            bad_zero("bad 0 two in fast_array_onevar_mult.", a1, b1, sum_a[a1], sum_b[b1]);
        fast_array_onevar_mult(sum_a, sum_b, p1, 0, a1, 0, b1);

        for (int32_t i = 0; i <= a0 + b0; i++) p1[i] = sub_w(r, p1[i], z[i]);
        for (int32_t i = 0; i <= mid; i++) p1[i] = sub_w(r, p1[i], z[2 * m + i]);
        for (int32_t i = 0; i <= mid; i++) z[m + i] = add_w(r, z[m + i], p1[i]);
        return;
    }

    // 2 sa <= sb: B = B_low + x^(sb-sa+1) B_top, B_top as long as A.
    int32_t bl = sb - sa;
    while (b[bl] == 0) bl--;   // b[0] is non-zero
    fast_array_onevar_mult(a, b, z, 0, sa, 0, bl);
    std::fill(z + sa + bl + 1, z + sa + sb + 1, 0u);
    uint32_t* t2 = frame.take(2 * static_cast<size_t>(sa));
    fast_array_onevar_mult(a, b + sb - sa + 1, t2, 0, sa, 0, sa - 1);
    uint32_t* zt = z + sb - sa + 1;
    for (int32_t i = 0; i < 2 * sa; i++) zt[i] = add_w(r, zt[i], t2[i]);
}

// Top index of r[lo .. hi] trimmed down past zero words, not below lo; an
// empty range becomes the single zero word r[lo].
int32_t trim_top(uint32_t* r, int32_t lo, int32_t hi) {
    if (hi < lo) {
        r[lo] = 0;
        return lo;
    }
    while (hi > lo && r[hi] == 0) hi--;
    return hi;
}

void bounds_fault(const char* format, const char* message, int32_t a, int32_t b, int32_t c,
                  int32_t d) {
    std::printf(format, static_cast<long>(a), static_cast<long>(b), static_cast<long>(c),
                static_cast<long>(d));
    dense_fatal(message);
}

}  // namespace

// ---------------------------------------------------------------- work arrays

void init_poly_work_arrays() {
    if (xx) return;
    xx = new uint32_t[DENSE_WORDS]();
    yy = new uint32_t[DENSE_WORDS]();
    zz = new uint32_t[DENSE_WORDS]();
    x2 = new uint32_t[POLY2_SIDE][POLY2_SIDE]();
    y2 = new uint32_t[POLY2_SIDE][POLY2_SIDE]();
    z2 = new uint32_t[POLY2_SIDE][POLY2_SIDE]();
    if (scratch_blocks.empty()) add_scratch_block(0, SCRATCH_FIRST_BLOCK);
}

size_t dense_scratch_capacity() {
    size_t n = 0;
    for (const ScratchBlock& b : scratch_blocks) n += b.size;
    return n;
}

// ---------------------------------------------------------------- products

void fast_array_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                            int32_t xhi, int32_t ylo, int32_t yhi) {
    const int32_t xlo0 = xlo, ylo0 = ylo;
    while (xlo <= xhi && x[xlo] == 0) xlo++;
    while (ylo <= yhi && y[ylo] == 0) ylo++;
    if (xlo > xhi || ylo > yhi) {
        std::printf(" ** bad exps fast_array_onevar %li, %li, %li, %li, %li, %li, %li, %li\n",
                    static_cast<long>(xlo), static_cast<long>(xhi), static_cast<long>(ylo),
                    static_cast<long>(yhi), static_cast<long>(xhi >= 0 ? x[xhi] : 0),
                    static_cast<long>(yhi >= 0 ? y[yhi] : 0), static_cast<long>(xlo0),
                    static_cast<long>(ylo0));
        dense_fatal("bad exps in fast_array_onevar_mult.");
    }
    std::fill(z + xlo0 + ylo0, z + xlo + ylo, 0u);
    // Below two words a split makes no progress, whatever poly_cutoff says.
    kara(current_ring(), x + xlo, xhi - xlo, y + ylo, yhi - ylo, z + xlo + ylo,
         std::max<int32_t>(poly_cutoff, 2));
}

int32_t fast_0_array_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                                 int32_t xhi, int32_t ylo, int32_t yhi) {
    if (x[xhi] == 0 || y[yhi] == 0) {
        z[0] = 0;
        return 0;
    }
    fast_array_onevar_mult(x, y, z, xlo, xhi, ylo, yhi);
    return xhi + yhi;
}

void onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo, int32_t xhi,
                 int32_t ylo, int32_t yhi) {
    checked_convolve(current_ring(), x + xlo, xhi - xlo, y + ylo, yhi - ylo, z + xlo + ylo, xlo, ylo);
}

void slower_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t xlo,
                        int32_t xhi, int32_t ylo, int32_t yhi) {
    slow_convolve(current_ring(), x + xlo, xhi - xlo, y + ylo, yhi - ylo, z + xlo + ylo);
}

void simple_onevar_mult(const uint32_t* x, const uint32_t* y, uint32_t* z, int32_t dx, int32_t dy) {
    const int32_t m = modulus;
    for (int32_t i = 0; i <= dx; i++) z[i] = static_cast<uint32_t>(modmult(s32(x[i]), s32(y[0])));
    for (int32_t i = dx + 1; i <= dx + dy; i++) z[i] = 0;
    for (int32_t j = 1; j <= dy; j++) {
        if (y[j] == 0) continue;
        for (int32_t i = 0; i <= dx; i++)
            z[i + j] = static_cast<uint32_t>(mod_add(s32(z[i + j]), modmult(s32(x[i]), s32(y[j])), m));
    }
}

// ---------------------------------------------------------------- sums and differences

void onevar_add(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t alo, int32_t ahi,
                int32_t blo, int32_t bhi, int32_t* rhi) {
    if (blo < alo || ahi < alo - 1 || bhi < blo - 1)
        bounds_fault("** onevar_add %li, %li, %li, %li\n", " onevar_add reversed degrees. ", alo, ahi,
                     blo, bhi);
    const Ring ring = current_ring();
    const int32_t top = std::max(ahi, bhi);
    int32_t i = alo;
    for (; i <= std::min(ahi, blo - 1); i++) r[i] = a[i];
    for (; i < blo; i++) r[i] = 0;   // the gap when a ends before b starts
    for (; i <= std::min(ahi, bhi); i++) r[i] = add_w(ring, a[i], b[i]);
    for (; i <= ahi; i++) r[i] = a[i];
    for (; i <= bhi; i++) r[i] = b[i];
    *rhi = trim_top(r, alo, top);
}

void onevar_sub(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                int32_t bhi, int32_t* rhi) {
    if (ahi < lo - 1 || bhi < lo - 1)
        bounds_fault("** onevar_sub %li, %li, %li, %li\n", " onevar_sub reversed degrees.", lo, ahi,
                     lo, bhi);
    const Ring ring = current_ring();
    int32_t i = lo;
    for (; i <= std::min(ahi, bhi); i++) r[i] = sub_w(ring, a[i], b[i]);
    for (; i <= ahi; i++) r[i] = a[i];
    for (; i <= bhi; i++) r[i] = sub_w(ring, 0, b[i]);
    *rhi = trim_top(r, lo, std::max(ahi, bhi));
}

void onevar_add_shift(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                      int32_t bhi, int32_t shift, int32_t* rhi) {
    if (ahi < lo - 1 || bhi < lo - 1 || shift < 0)
        bounds_fault("** onevar_add_shift %li, %li, %li, %li\n", " onevar_add_shift reversed degrees.",
                     lo, ahi, bhi, shift);
    const Ring ring = current_ring();
    const int32_t blo = lo + shift, btop = bhi + shift;   // b's words in r's indices
    int32_t i = lo;
    for (; i <= std::min(ahi, blo - 1); i++) r[i] = a[i];
    for (; i < blo && i <= btop; i++) r[i] = 0;
    for (; i <= std::min(ahi, btop); i++) r[i] = add_w(ring, a[i], b[i - shift]);
    for (; i <= ahi; i++) r[i] = a[i];
    for (; i <= btop; i++) r[i] = b[i - shift];
    *rhi = trim_top(r, lo, std::max(ahi, btop));
}

void onevar_sub_shift(const uint32_t* a, const uint32_t* b, uint32_t* r, int32_t lo, int32_t ahi,
                      int32_t bhi, int32_t shift, int32_t* rhi) {
    if (ahi < lo - 1 || bhi < lo + shift - 1 || shift < 0)
        bounds_fault("** onevar_sub_shift %li, %li, %li, %li\n", " onevar_sub_shift reversed degrees.",
                     lo, ahi, bhi, shift);
    if (ahi == lo - 1)
        bounds_fault("** new xb=xa-1 %li, %li, %li, %li\n", " onevar_sub_shift xb=xa-1.", lo, ahi, bhi,
                     shift);
    const Ring ring = current_ring();
    const int32_t btop = bhi - shift;   // b's top in r's indices
    int32_t i = lo;
    for (; i <= std::min(ahi, btop); i++) r[i] = sub_w(ring, a[i], b[i + shift]);
    for (; i <= ahi; i++) r[i] = a[i];
    for (; i <= btop; i++) r[i] = sub_w(ring, 0, b[i + shift]);
    *rhi = trim_top(r, lo, std::max(ahi, btop));
}

void onevar_self_add(const uint32_t* a, uint32_t* r, int32_t lo, int32_t hi, int32_t m,
                     int32_t* top) {
    const Ring ring = current_ring();
    const int32_t low_top = *top, high_top = hi - m;
    int32_t i = lo;
    for (; i <= std::min(low_top, high_top); i++) r[i] = add_w(ring, a[i], a[i + m]);
    for (; i <= low_top; i++) r[i] = a[i];
    for (; i <= high_top; i++) r[i] = a[i + m];
    *top = trim_top(r, lo, std::max(low_top, high_top));
}

void onevar_split_poly(const uint32_t* a, uint32_t* hi_part, int32_t m, int32_t* da, int32_t* dh) {
    if (m == 0) {
        std::printf("m is 0 in onevar_split\n");
        dense_fatal(" onevar_split_poly.");
    }
    if (m > *da) {
        hi_part[0] = 0;
        *dh = 0;
        return;
    }
    std::copy(a + m, a + *da + 1, hi_part);
    *dh = *da - m;
    int32_t d = m - 1;
    while (d >= 0 && a[d] == 0) d--;
    *da = d;
}

// ---------------------------------------------------------------- remainders

namespace {

// The division loop shared by onevar_array_mod and onevar_array_div_mod;
// q null: no quotient kept. dy >= 1 and *dx >= dy on entry.
void divide_loop(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy, int32_t* zero) {
    const Ring ring = current_ring();
    const uint32_t p = ring.p;
    int32_t inv_word;
    mod_inverse(s32(y[dy]), &inv_word);
    const uint32_t inv = static_cast<uint32_t>(inv_word);
    int32_t d = *dx;
    while (d >= dy) {
        const uint32_t c = mul_w(x[d], inv);
        if (q) q[d - dy] = c;
        if (ring.small_prod) {
            // (p - c) y + x stays below 2^32 for p below 65,536.
            const uint32_t neg = p - c;
            for (int32_t i = d - 1; i >= d - dy; i--) x[i] = (neg * y[i - d + dy] + x[i]) % p;
        } else {
            for (int32_t i = d - 1; i >= d - dy; i--) x[i] = sub_w(ring, x[i], mul_w(c, y[i - d + dy]));
        }
        x[d] = 0;
        d--;
        while (d >= 0 && x[d] == 0) d--;
    }
    *dx = d;
    *zero = d < 0 ? 1 : 0;
}

// Remainder by a non-zero constant: zero; the quotient is x times its inverse.
void divide_by_constant(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t* dq,
                        int32_t* zero) {
    if (y[0] == 0) dense_fatal(" y is 0 in onevar_array_mod.");
    if (q) {
        int32_t inv;
        mod_inverse(s32(y[0]), &inv);
        for (int32_t i = 0; i <= *dx; i++) q[i] = mul_w(x[i], static_cast<uint32_t>(inv));
        *dq = *dx;
    }
    x[0] = 0;
    *dx = 0;
    *zero = 1;
}

}  // namespace

void onevar_array_mod(uint32_t* x, const uint32_t* y, int32_t* dx, int32_t dy, int32_t* zero) {
    if (dy == 0) {
        divide_by_constant(x, y, nullptr, dx, nullptr, zero);
        return;
    }
    if (*dx < dy) {
        *zero = (*dx == 0 && x[0] == 0) ? 1 : 0;
        return;
    }
    divide_loop(x, y, nullptr, dx, dy, zero);
}

void onevar_array_div_mod(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy,
                          int32_t* dq, int32_t* zero) {
    if (dy == 0) {
        divide_by_constant(x, y, q, dx, dq, zero);
        return;
    }
    if (*dx < dy) {
        q[0] = 0;
        *dq = 0;
        *zero = (*dx == 0 && x[0] == 0) ? 1 : 0;
        return;
    }
    *dq = *dx - dy;
    std::fill(q, q + *dq + 1, 0u);   // a step skipped by a cancellation leaves a zero quotient word
    divide_loop(x, y, q, dx, dy, zero);
}

namespace {

// Below 46,340, with q0 and q1 taken as their representatives nearest 0,
// x[i] - q1 y[i-1] - q0 y[i] stays within signed 32 bits.
constexpr int32_t ONE_STEP_SIGNED_LIMIT = 46340;

void one_step(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy, int32_t* zero) {
    if (dy == 0) {
        // Division by a constant: the remainder is 0.
        int32_t dq = 0;
        divide_by_constant(x, y, q, dx, &dq, zero);
        return;
    }
    const Ring ring = current_ring();
    int32_t inv_word;
    mod_inverse(s32(y[dy]), &inv_word);
    const uint32_t inv = static_cast<uint32_t>(inv_word);
    const int32_t d = dy + 1;
    const uint32_t q1 = mul_w(x[d], inv);
    const uint32_t q0 = mul_w(sub_w(ring, x[dy], mul_w(q1, y[dy - 1])), inv);
    if (q) {
        q[0] = q0;
        q[1] = q1;
    }
    if (!ring.xor_sum && modulus < ONE_STEP_SIGNED_LIMIT) {
        const int32_t half = modulus / 2;
        const int32_t m = modulus;
        const int32_t c1 = s32(q1) > half ? s32(q1) - m : s32(q1);
        const int32_t c0 = s32(q0) > half ? s32(q0) - m : s32(q0);
        for (int32_t i = dy - 1; i >= 1; i--) {
            int32_t v = (s32(x[i]) - c1 * s32(y[i - 1]) - c0 * s32(y[i])) % m;
            x[i] = static_cast<uint32_t>(v < 0 ? v + m : v);
        }
        int32_t v = (s32(x[0]) - c0 * s32(y[0])) % m;
        x[0] = static_cast<uint32_t>(v < 0 ? v + m : v);
    } else {
        for (int32_t i = dy - 1; i >= 1; i--)
            x[i] = sub_w(ring, sub_w(ring, x[i], mul_w(q1, y[i - 1])), mul_w(q0, y[i]));
        x[0] = sub_w(ring, x[0], mul_w(q0, y[0]));
    }
    x[d] = 0;
    x[dy] = 0;
    int32_t n = dy - 1;
    while (n >= 0 && x[n] == 0) n--;
    *dx = n;
    *zero = n < 0 ? 1 : 0;
}

}  // namespace

void onevar_one(uint32_t* x, const uint32_t* y, int32_t* dx, int32_t dy, int32_t* zero) {
    one_step(x, y, nullptr, dx, dy, zero);
}

void onevar_one_div(uint32_t* x, const uint32_t* y, uint32_t* q, int32_t* dx, int32_t dy,
                    int32_t* nq, int32_t* zero) {
    one_step(x, y, q, dx, dy, zero);
    *nq = 1;
}

int euclid_total(uint32_t* x, uint32_t* y, int32_t* dx, int32_t* dy) {
    // u is the current dividend, v the divisor; in_x says where u lives.
    uint32_t* u = x;
    uint32_t* v = y;
    int32_t du = *dx, dv = *dy;
    bool in_x = true;
    for (;;) {
        int32_t zero = 0;
        if (modulus < ONE_STEP_SIGNED_LIMIT && du == dv + 1)
            onevar_one(u, v, &du, dv, &zero);
        else
            onevar_array_mod(u, v, &du, dv, &zero);
        if (zero) {
            // The divisor is the gcd.
            if (in_x) {
                *dy = dv;
                *dx = 0;
                return 0;
            }
            *dx = dv;
            *dy = 0;
            return 1;
        }
        if (du == 0) {
            // A non-zero constant remainder: the gcd is 1 up to a unit.
            if (in_x) {
                *dx = 0;
                *dy = 0;
                return 1;
            }
            *dy = 0;
            *dx = 0;
            return 0;
        }
        std::swap(u, v);
        std::swap(du, dv);
        in_x = !in_x;
    }
}
