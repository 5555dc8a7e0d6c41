// The subquadratic gcd reduction on magnitude arrays (see digits_impl.h).
//
// A round takes a pair of about m digits down to about m/2 digits. The
// reduction of the pair's leading half is computed first (recursively, on a
// copy), giving a 2 x 2 matrix; applied to the whole pair by products it
// brings the pair to about 3m/4 digits; a second such step on the leading
// digits of the new pair, and a few Lehmer rounds, end the round. A leading
// half determines the first half of the quotient sequence of the whole
// pair, so the matrices found on copies are the true ones as long as each
// recursive reduction stops while its remainders are still longer than half
// its input, which `reduce_half` does.
//
// Correctness does not rest on that argument: every matrix is a product of
// Euclid steps (or such a product with rows negated or exchanged), so its
// determinant is 1 or -1 and the pair it gives, signs dropped, has the gcd of
// the pair it was applied to. A matrix that was not the true one only slows
// the round down, and a round that gains nothing falls back to one division.
#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "numbers/digits_impl.h"
#include "toplevel/errors.h"

namespace digits {

// Below this length of b the Lehmer rounds of mag_gcd_reduce finish alone
// (measured, bench_numbers gcdcut: the two meet at about 1,000 digits;
// 1,000 to 1,500 alike above).
int32_t half_gcd_cut = 1000;

// Measured (bench_numbers gcdat): 250 to 700 digits alike, 150 and 1,000
// slower; the separate products run on words up to 1,500 digits.
int32_t gcd_forms_cut = 300;

namespace {

// Below this length a reduction runs Lehmer rounds and division steps.
constexpr int32_t kBaseDigits = 48;

inline int32_t size_of(const Mag& x) { return static_cast<int32_t>(x.size()); }
inline void trim(Mag& x) { x.resize(static_cast<size_t>(mag_len(x.data(), size_of(x)))); }

// r := a * b, trimmed (neither operand empty).
void long_mul(const uint32_t* a, int32_t na, const uint32_t* b, int32_t nb, Mag& r) {
    mag_mul(a, na, b, nb, r);
    trim(r);
}

// A signed number: sign -1, 0 or 1 and a trimmed magnitude (empty for 0).
struct SInt {
    Mag m;
    int s = 0;
};

void set_small(SInt& r, int64_t v) {
    r.m.clear();
    r.s = v < 0 ? -1 : v > 0;
    uint64_t u = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    while (u) {
        r.m.push_back(static_cast<uint32_t>(u & DIGIT_MASK));
        u >>= DIGIT_BITS;
    }
}

// r := x * y; r must not be x or y.
void smul(const SInt& x, const SInt& y, SInt& r) {
    if (!x.s || !y.s) {
        r.m.clear();
        r.s = 0;
        return;
    }
    long_mul(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m), r.m);
    r.s = x.s * y.s;
}

// r := x + y; r must not be x or y.
void sadd(const SInt& x, const SInt& y, SInt& r) {
    if (!x.s) {
        r = y;
        return;
    }
    if (!y.s) {
        r = x;
        return;
    }
    if (x.s == y.s) {
        mag_add(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m), r.m);
        trim(r.m);
        r.s = x.s;
        return;
    }
    const int c = mag_cmp(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m));
    if (c == 0) {
        r.m.clear();
        r.s = 0;
    } else if (c > 0) {
        mag_sub(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m), r.m);
        trim(r.m);
        r.s = x.s;
    } else {
        mag_sub(y.m.data(), size_of(y.m), x.m.data(), size_of(x.m), r.m);
        trim(r.m);
        r.s = y.s;
    }
}

// (new a, new b) = [e0 e1; e2 e3] (a, b).
struct Mat {
    SInt e[4];
};

void set_identity(Mat& R) {
    set_small(R.e[0], 1);
    set_small(R.e[1], 0);
    set_small(R.e[2], 0);
    set_small(R.e[3], 1);
}

// Transforms shared by the products of a matrix step pay when even the
// shortest operand is this long.
bool forms_pay(std::initializer_list<const Mag*> ops) {
    for (const Mag* x : ops)
        if (size_of(*x) < gcd_forms_cut) return false;
    return true;
}

// C := A * B. A's and B's entries' transforms are taken from a_forms and
// b_forms when given on the right number of points (else made in them).
void mat_mul(const Mat& A, const Mat& B, Mat& C, NttForm* a_forms = nullptr, NttForm* b_forms = nullptr) {
    if (forms_pay({&A.e[0].m, &A.e[1].m, &A.e[2].m, &A.e[3].m, &B.e[0].m, &B.e[1].m, &B.e[2].m, &B.e[3].m})) {
        // Each entry transformed once, one inverse transform per entry of C.
        int32_t la = 0, lb = 0;
        for (int i = 0; i < 4; i++) {
            la = std::max(la, size_of(A.e[i].m));
            lb = std::max(lb, size_of(B.e[i].m));
        }
        const size_t n = ntt_points(la, lb);
        NttForm own_a[4], own_b[4];
        NttForm* fa = a_forms ? a_forms : own_a;
        NttForm* fb = b_forms ? b_forms : own_b;
        for (int i = 0; i < 4; i++) {
            if (fa[i].n != n) ntt_form(A.e[i].m.data(), size_of(A.e[i].m), n, fa[i]);
            if (fb[i].n != n) ntt_form(B.e[i].m.data(), size_of(B.e[i].m), n, fb[i]);
        }
        for (int i = 0; i < 2; i++) {
            for (int j = 0; j < 2; j++) {
                C.e[2 * i + j].s = ntt_sum_of_products(fa[2 * i], fb[j], A.e[2 * i].s * B.e[j].s, &fa[2 * i + 1],
                                                       &fb[2 + j], A.e[2 * i + 1].s * B.e[2 + j].s,
                                                       C.e[2 * i + j].m);
            }
        }
        return;
    }
    SInt t, u;
    for (int i = 0; i < 2; i++) {
        for (int j = 0; j < 2; j++) {
            smul(A.e[2 * i], B.e[j], t);
            smul(A.e[2 * i + 1], B.e[2 + j], u);
            sadd(t, u, C.e[2 * i + j]);
        }
    }
}

// Signs dropped from x and y and the pair ordered so that x >= y; R's rows
// follow, so that R still carries the old pair into the new one exactly.
// The pair is then stored in a and b.
void settle(Mat& R, SInt& x, SInt& y, Mag& a, Mag& b) {
    if (x.s < 0) {
        R.e[0].s = -R.e[0].s;
        R.e[1].s = -R.e[1].s;
    }
    if (y.s < 0) {
        R.e[2].s = -R.e[2].s;
        R.e[3].s = -R.e[3].s;
    }
    if (mag_cmp(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m)) < 0) {
        std::swap(x, y);
        std::swap(R.e[0], R.e[2]);
        std::swap(R.e[1], R.e[3]);
    }
    a.swap(x.m);
    b.swap(y.m);
}

// The low k digits of x as a signed number.
void low_part(const Mag& x, int32_t k, SInt& r) {
    r.m.assign(x.begin(), x.begin() + std::min<size_t>(static_cast<size_t>(k), x.size()));
    trim(r.m);
    r.s = r.m.empty() ? 0 : 1;
}

// r := h * B^k + t for h >= 0.
void shifted_sum(const Mag& h, int32_t k, const SInt& t, SInt& r) {
    SInt top;
    if (!h.empty()) {
        top.m.assign(static_cast<size_t>(k), 0u);
        top.m.insert(top.m.end(), h.begin(), h.end());
        top.s = 1;
    }
    sadd(top, t, r);
}

// (a, b) := R (a, b), then settled, where R was found on the leading digits
// from digit k on and (ah, bh) = R (those digits): only the low k digits
// need products, as R (a, b) = (ah, bh) B^k + R (low digits).
// With r_forms given, R's entries' transforms are left there (following
// R's rows when settling exchanges them), when they were made.
void apply(Mat& R, Mag& a, Mag& b, int32_t k, const Mag& ah, const Mag& bh, NttForm* r_forms = nullptr) {
    SInt al, bl, t, u, v, x, y;
    low_part(a, k, al);
    low_part(b, k, bl);
    if (forms_pay({&al.m, &bl.m, &R.e[0].m, &R.e[1].m, &R.e[2].m, &R.e[3].m})) {
        int32_t le = 0;
        for (int i = 0; i < 4; i++) le = std::max(le, size_of(R.e[i].m));
        const int32_t ll = std::max(size_of(al.m), size_of(bl.m));
        // The low parts go in s equal slices, each product on the fewest
        // points that carry it: more slices cost more transforms but may
        // each take half the points, and slices of about the entries'
        // length share their points with the matrix product that follows,
        // which then takes R's transforms from here. The cost counted is
        // points times transforms (four for the entries, four per slice).
        const size_t pair_points = ntt_points(le, le);
        int32_t k1 = ll;
        size_t n = ntt_points(le, ll), best = SIZE_MAX;
        for (int32_t slices = 1; slices <= 4 && (ll + slices - 1) / slices >= 1; slices++) {
            const int32_t len = (ll + slices - 1) / slices;
            const size_t points = ntt_points(le, len);
            size_t cost = points * (4 + 4 * static_cast<size_t>(slices));
            if (r_forms && points == pair_points) cost -= 4 * points;
            if (cost < best) {
                best = cost;
                k1 = len;
                n = points;
            }
        }
        NttForm own[4];
        NttForm* fe = r_forms ? r_forms : own;
        for (int i = 0; i < 4; i++)
            if (fe[i].n != n) ntt_form(R.e[i].m.data(), size_of(R.e[i].m), n, fe[i]);
        SInt vx, vy;   // R (low digits) row by row
        for (int32_t off = 0; off < ll; off += k1) {
            // One slice of k1 digits of each low part; a slice of zeros
            // transforms to zeros and sums like any other.
            const int32_t na = std::clamp(size_of(al.m) - off, 0, k1), nb = std::clamp(size_of(bl.m) - off, 0, k1);
            NttForm fl[2];
            ntt_form(al.m.data() + off, na, n, fl[0]);
            ntt_form(bl.m.data() + off, nb, n, fl[1]);
            for (int row = 0; row < 2; row++) {
                SInt& acc = row ? vy : vx;
                v.s = ntt_sum_of_products(fe[2 * row], fl[0], R.e[2 * row].s, &fe[2 * row + 1], &fl[1],
                                          R.e[2 * row + 1].s, v.m);
                if (off == 0) {
                    acc = std::move(v);
                    v = SInt();
                } else if (v.s) {
                    // acc += v B^off
                    SInt shifted;
                    shifted.s = v.s;
                    shifted.m.assign(static_cast<size_t>(off), 0u);
                    shifted.m.insert(shifted.m.end(), v.m.begin(), v.m.end());
                    sadd(acc, shifted, t);
                    std::swap(acc, t);
                }
            }
        }
        shifted_sum(ah, k, vx, x);
        shifted_sum(bh, k, vy, y);
        // settle exchanges R's rows exactly when the new pair is out of order.
        if (mag_cmp(x.m.data(), size_of(x.m), y.m.data(), size_of(y.m)) < 0) {
            std::swap(fe[0], fe[2]);
            std::swap(fe[1], fe[3]);
        }
        settle(R, x, y, a, b);
        return;
    }
    smul(R.e[0], al, t);
    smul(R.e[1], bl, u);
    sadd(t, u, v);
    shifted_sum(ah, k, v, x);
    smul(R.e[2], al, t);
    smul(R.e[3], bl, u);
    sadd(t, u, v);
    shifted_sum(bh, k, v, y);
    settle(R, x, y, a, b);
}

// The matrix of a run of Lehmer rounds, kept as four signed entries of a
// few digits in the workspace's buffers (below): the rounds are the bulk of
// the gcd's steps, and allocating for each one would cost more than the
// round itself.
struct LeafMat {
    Mag e[4], t[4];
    int s[4] = {1, 0, 0, 1};
    void reset() {
        for (int i = 0; i < 4; i++) e[i].clear();
        e[0].push_back(1);
        e[3].push_back(1);
        s[0] = s[3] = 1;
        s[1] = s[2] = 0;
    }
};

// Buffers a reduction reuses from step to step. A reduction on operands of
// its own (private_operands) may stop for an interrupt, whose level may run
// gcds too: it then works in a workspace of its own, the others in the
// thread's shared one.
struct Workspace {
    LeafMat leaf;
    Mag q, r;   // a division step's quotient and remainder
};
Workspace& shared_workspace() {
    thread_local Workspace w;
    return w;
}

[[maybe_unused]] const bool scratch_noted = note_scratch([] { shared_workspace() = Workspace(); });
// The running reduction's own workspace; null for the shared one. A
// reduction with one of its own stops for interrupts.
thread_local Workspace* own_workspace = nullptr;
inline Workspace& workspace() { return own_workspace ? *own_workspace : shared_workspace(); }
inline bool polling() { return own_workspace != nullptr; }

// Installs the workspace for one reduction, restoring the one before on
// every exit.
struct WorkspaceGuard {
    Workspace own;
    Workspace* before = own_workspace;
    explicit WorkspaceGuard(bool private_ops) { own_workspace = private_ops ? &own : nullptr; }
    ~WorkspaceGuard() { own_workspace = before; }
    WorkspaceGuard(const WorkspaceGuard&) = delete;
    WorkspaceGuard& operator=(const WorkspaceGuard&) = delete;
};

// One Euclid step on a >= b > 0: (a, b) := (b, a mod b), with R following
// when it is kept.
void division_step(Mag& a, Mag& b, Mat* R) {
    Workspace& w = workspace();
    Mag& q = w.q;
    Mag& r = w.r;
    mag_divmod(a.data(), size_of(a), b.data(), size_of(b), R ? &q : nullptr, r);
    a.swap(b);
    b.swap(r);
    if (!R) return;
    // New rows: (old row 1, old row 0 - q * old row 1).
    SInt Q, t;
    Q.m = q;
    Q.s = q.empty() ? 0 : 1;
    for (int j = 0; j < 2; j++) {
        smul(Q, R->e[2 + j], t);
        t.s = -t.s;
        SInt row0 = std::move(R->e[j]);
        R->e[j] = std::move(R->e[2 + j]);
        sadd(row0, t, R->e[2 + j]);
    }
}

bool is_identity(const Mat& R) {
    return R.e[1].s == 0 && R.e[2].s == 0 && R.e[0].s == 1 && R.e[3].s == 1 && R.e[0].m.size() == 1 &&
           R.e[0].m[0] == 1 && R.e[3].m.size() == 1 && R.e[3].m[0] == 1;
}

// out := x e + y f for signed machine words x, y (|x|, |y| <= 2^32) and
// signed entries (e, se), (f, sf); returns out's sign. Each digit's sum
// stays below 2^62 in magnitude, so one signed word carries it.
int combine(int64_t x, const Mag& e, int se, int64_t y, const Mag& f, int sf, Mag& out) {
    if (!se) x = 0;
    if (!sf) y = 0;
    if (se < 0) x = -x;
    if (sf < 0) y = -y;
    const size_t ne = x ? e.size() : 0, nf = y ? f.size() : 0, n = std::max(ne, nf);
    out.resize(n + 3);
    int64_t carry = 0;
    for (size_t i = 0; i < n; i++) {
        const int64_t t = x * static_cast<int64_t>(i < ne ? e[i] : 0u) +
                          y * static_cast<int64_t>(i < nf ? f[i] : 0u) + carry;
        out[i] = static_cast<uint32_t>(t & DIGIT_MASK);
        carry = t >> DIGIT_BITS;   // arithmetic: floor division
    }
    for (size_t i = n; i < n + 3; i++) {
        out[i] = static_cast<uint32_t>(carry & DIGIT_MASK);
        carry >>= DIGIT_BITS;
    }
    // A negative sum is left as its complement to B^(n+3): negate it.
    int sign = 1;
    if (carry < 0) {
        sign = -1;
        uint32_t borrow = 0;
        for (auto& d : out) {
            const uint32_t v = d + borrow;
            d = (DIGIT_BASE - v) & DIGIT_MASK;
            borrow = v != 0 ? 1 : borrow;
        }
    }
    trim(out);
    return out.empty() ? 0 : sign;
}

// L := S L for a Lehmer round's matrix S.
void leaf_mul_rows(const int64_t rows[4], LeafMat& L) {
    int sn[4];
    for (int i = 0; i < 2; i++) {
        for (int j = 0; j < 2; j++)
            sn[2 * i + j] = combine(rows[2 * i], L.e[j], L.s[j], rows[2 * i + 1], L.e[2 + j], L.s[2 + j],
                                    L.t[2 * i + j]);
    }
    for (int i = 0; i < 4; i++) {
        L.e[i].swap(L.t[i]);
        L.s[i] = sn[i];
    }
}

void to_sint(const Mag& m, int s, SInt& r) {
    r.m.assign(m.begin(), m.end());
    r.s = s;
}

// Lehmer rounds, and division steps where no round is vouched for, until b
// has at most stop digits. A round may end up to about two digits below
// stop; the callers' margins allow for it.
void base_reduce(Mag& a, Mag& b, int32_t stop, Mat* R) {
    int64_t rows[4];
    const bool poll = polling() && size_of(a) >= kPollDigits;
    if (!R) {
        while (size_of(b) > stop) {
            if (poll) poll_interrupt();
            if (!mag_lehmer_step(a, b, rows)) division_step(a, b, nullptr);
        }
        return;
    }
    if (size_of(b) <= stop) return;
    LeafMat& L = workspace().leaf;
    L.reset();
    bool stepped = false;
    while (size_of(b) > stop) {
        if (poll) poll_interrupt();
        if (mag_lehmer_step(a, b, rows)) {
            leaf_mul_rows(rows, L);
            stepped = true;
            continue;
        }
        // A long quotient: rare, so the general matrix takes it.
        if (stepped) {
            Mat S, P;
            for (int i = 0; i < 4; i++) to_sint(L.e[i], L.s[i], S.e[i]);
            mat_mul(S, *R, P);
            *R = std::move(P);
            L.reset();
            stepped = false;
        }
        division_step(a, b, R);
    }
    if (!stepped) return;
    Mat S;
    for (int i = 0; i < 4; i++) to_sint(L.e[i], L.s[i], S.e[i]);
    if (is_identity(*R)) {
        *R = std::move(S);
    } else {
        Mat P;
        mat_mul(S, *R, P);
        *R = std::move(P);
    }
}

// Reduces a >= b (m digits in a) in place until b has at most m/2 + 2
// digits; with R given, R receives the matrix carrying the old pair into
// the new one.
// Stopping there keeps the matrix's entries below about m/2 digits, so that
// on a caller's longer pair with these leading digits it is exact in the
// leading half of the result.
void reduce_half(Mag& a, Mag& b, Mat* R) {
    const int32_t m = size_of(a);
    const int32_t stop = m / 2 + 2;
    if (R) set_identity(*R);
    if (size_of(b) <= stop) return;
    if (polling() && m >= kPollDigits) poll_interrupt();
    if (m > kBaseDigits) {
        // The leading half first: it reduces to about a quarter of m
        // digits, which takes the whole pair to about 3m/4.
        const int32_t k = m / 2;
        // R1's transforms, made for its product by the low digits, serve
        // the matrix product at the end when the lengths agree.
        NttForm r1_forms[4];
        if (size_of(b) > k + (m - k) / 2 + 2) {
            Mag ah(a.begin() + k, a.end()), bh(b.begin() + k, b.end());
            Mat R1;
            reduce_half(ah, bh, &R1);
            if (!is_identity(R1)) {
                apply(R1, a, b, k, ah, bh, R ? r1_forms : nullptr);
                if (R) *R = std::move(R1);
            }
        }
        // Then the leading digits of the new pair, chosen so that their
        // reduction ends just above stop.
        const int32_t m2 = size_of(a);
        const int32_t k2 = std::max(0, 2 * (stop - 1) - m2);
        if (size_of(b) > stop && m2 - k2 > 8 && size_of(b) > k2) {
            Mag ah(a.begin() + k2, a.end()), bh(b.begin() + k2, b.end());
            Mat R2;
            reduce_half(ah, bh, &R2);
            if (!is_identity(R2)) {
                // R2's transforms serve the matrix product too when the
                // two want the same number of points.
                NttForm r2_forms[4];
                apply(R2, a, b, k2, ah, bh, R ? r2_forms : nullptr);
                if (R) {
                    Mat P;
                    mat_mul(R2, *R, P, r2_forms, r1_forms);
                    *R = std::move(P);
                }
            }
        }
    }
    base_reduce(a, b, stop, R);
}

}  // namespace

void mag_half_gcd_reduce(Mag& a, Mag& b) {
    trim(a);
    trim(b);
    if (mag_cmp(a.data(), size_of(a), b.data(), size_of(b)) < 0) a.swap(b);
    WorkspaceGuard own_buffers(operands_private());
    while (size_of(b) > half_gcd_cut) {
        if (polling()) poll_interrupt();
        // A long quotient first: the halving rounds need a balanced pair.
        if (size_of(a) - size_of(b) > size_of(b) / 4) {
            division_step(a, b, nullptr);
            continue;
        }
        const int32_t before = size_of(a);
        // The top-level pair is the true one: no matrix is needed.
        reduce_half(a, b, nullptr);
        if (size_of(a) >= before && size_of(b) > half_gcd_cut) division_step(a, b, nullptr);
    }
}

}  // namespace digits
