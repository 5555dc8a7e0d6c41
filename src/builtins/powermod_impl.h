// Private to the powering and factoring sources: exponents taken apart
// into base-2^28 digits, the bit walk of left-to-right binary powering,
// and the small polynomial helpers both use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/records.h"
#include "toplevel/set_aside.h"

struct pt;

namespace powermod_impl {

// |n| in base-2^28 digits, most significant first, no leading zero digit
// (zero: no digits), and its sign.
struct ExpDigits {
    std::vector<int32_t> d;
    bool negative = false;
    bool zero() const { return d.empty(); }
};
ExpDigits digits_of(const imag* n);
// x := |e| as a digit number (big-integer mode).
void number_of(const ExpDigits& e, imag* x);

// Left-to-right binary powering over every bit of e: square(), then
// multiply() for a set bit, from the highest set bit of the leading digit.
// digit(j) is called before digit j (1-based) is walked.
template <class Square, class Multiply, class Digit>
void walk_bits(const ExpDigits& e, Square square, Multiply multiply, Digit digit) {
    bool started = false;
    for (std::size_t j = 0; j < e.d.size(); j++) {
        digit(static_cast<int32_t>(j + 1));
        for (int b = 27; b >= 0; b--) {
            const bool set = (e.d[j] >> b) & 1;
            if (started) square();
            if (set) {
                multiply();
                started = true;
            }
        }
    }
}

// A scratch number record (owning no digits at first), given back on every
// exit unless released.
struct NumHold {
    imag* x;
    NumHold();
    ~NumHold();
    imag* release() {
        imag* r = x;
        x = nullptr;
        return r;
    }
    NumHold(const NumHold&) = delete;
    NumHold& operator=(const NumHold&) = delete;
};

// Modular and machine-integer mode off for the scope: field orders and
// exponents are big integers. A level opened by an interrupt inside works
// in the session's modes.
struct ModesOff : SetAside {
    int m, l;
    ModesOff();
    ~ModesOff();
    void put_back() override;
};

// A lone number node holding the value word or small digit number v.
polynode* number_poly(int32_t v);
// The variable of a level as a polynomial at that level: x (1 · x^1).
polynode* variable_poly();
// 1 when p is a lone number node.
inline bool lone(const polynode* p) { return p->numb && !p->next; }
// The polynomial c put one level up, as the constant term of that level.
polynode* lift_level(polynode* c);
// *r := a · b mod M (M null: no reduction), products under rec. Copy-then-free.
void mult_mod(polynode* a, polynode* b, polynode* M, pt* rec, polynode** r);
// in place. *a := (*a)^n mod M (M null: no reduction), left-to-right
// binary over every bit of n, products under rec. show: the progress
// lines ("counting to", the digit numbers).
void poly_power_mod(polynode** a, const ExpDigits& n, polynode* M, pt* rec, int show);
// 1 when some term of p, at any level, has a negative exponent.
bool has_negative_exponent(const polynode* p);
// The largest exponent anywhere in p (0 for a number).
int32_t max_exponent(const polynode* p);

}  // namespace powermod_impl
