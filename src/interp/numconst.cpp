// Decimal constants: digit tokens gathered into base-10^8 limbs, then
// converted limb by limb into the ground ring, so a residue is found
// without building the big integer.
#include "interp/numconst.h"

#include <vector>

#include "interp/scanner.h"
#include "numbers/base10.h"
#include "numbers/numbers.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/nodetests.h"
#include "toplevel/errors.h"

namespace {

// The largest constant machine-integer mode takes without a warning.
constexpr int64_t LINT_CONSTANT_MAX = 2147483645;
constexpr int32_t MAX_SIZE_WARNINGS = 30;

bool is_digit_token(const tokenrec& t) { return t.name[0] >= '0' && t.name[0] <= '9'; }

int32_t ten_power(int32_t k) {
    int32_t p = 1;
    while (k-- > 0) p *= 10;
    return p;
}

}  // namespace

void readin(FILE** source, imag* limbs, name** pending, int32_t* digits) {
    if (limbs->count > 0) give_back_chain(limbs->head, limbs->tail);
    limbs->count = 0;

    tokenrec t = token;
    numnode* head = nullptr;
    numnode* tail = nullptr;
    int32_t nlimbs = 0;
    int32_t ndigits = 0;

    while (is_digit_token(t)) {
        numnode* limb = newnumnode();
        int32_t v = 0;
        int32_t k = 0;
        do {
            v = v * 10 + (t.name[0] - '0');
            k++;
            ndigits++;
            scanner(source, &t, pending);
        } while (k < LIMB_DIGITS && is_digit_token(t));
        limb->digit = v;
        limb->next = nullptr;

        if (nlimbs == 0 && v == 0 && is_digit_token(t)) {
            // A leading zero limb: drop it; the digit count keeps the zeros.
            give_back_chain(limb, limb);
            continue;
        }
        if (tail)
            tail->next = limb;
        else
            head = limb;
        tail = limb;
        nlimbs++;
    }
    token = t;
    *digits = ndigits;

    // The limbs were filled from the left: shift the chain right so that
    // only the first limb is short.
    int32_t r = ndigits % LIMB_DIGITS;
    if (r > 0 && nlimbs >= 2) {
        std::vector<numnode*> at;
        at.reserve(static_cast<size_t>(nlimbs));
        for (numnode* p = head; p; p = p->next) at.push_back(p);
        int32_t p = ten_power(LIMB_DIGITS - r);
        int32_t q = LIMB_BASE / p;
        for (size_t i = at.size() - 1; i >= 1; i--) {
            numnode* upper = at[i - 1];
            numnode* lower = at[i];
            lower->digit += (upper->digit % p) * q;
            upper->digit /= p;
        }
        if (head->digit == 0) {
            numnode* dead = head;
            head = head->next;
            give_back_chain(dead, dead);
            nlimbs--;
        }
    }
    limbs->head = head;
    limbs->tail = tail;
    limbs->count = nlimbs;
}

void new_readin(FILE** source, imag* result, name** pending, int32_t* digits) {
    int32_t exact = 0;
    new_readin(source, result, pending, digits, &exact);
}

void new_readin(FILE** source, imag* result, name** pending, int32_t* digits, int32_t* exact) {
    imag limbs{};
    readin(source, &limbs, pending, digits);
    int64_t whole = 0;
    *exact = INT_DOES_NOT_FIT;
    if (limbs.count <= 2) {
        for (numnode* p = limbs.head; p; p = p->next) whole = whole * LIMB_BASE + p->digit;
        if (whole <= INT32_MAX) *exact = static_cast<int32_t>(whole);
    }

    if (modularmode) {
        std::vector<uint32_t> msf;
        msf.reserve(static_cast<size_t>(limbs.count));
        for (numnode* p = limbs.head; p; p = p->next) msf.push_back(static_cast<uint32_t>(p->digit));
        result->value = field_from_limbs(msf.data(), msf.size());
    } else if (lintmode) {
        // Wrapping in 32 unsigned bits keeps the constant modulo 2^32.
        uint32_t value = 0;
        int64_t exact = 0;
        for (numnode* p = limbs.head; p; p = p->next) {
            value = value * static_cast<uint32_t>(LIMB_BASE) + static_cast<uint32_t>(p->digit);
            if (limbs.count < 3) exact = exact * LIMB_BASE + p->digit;
        }
        if ((limbs.count >= 3 || exact > LINT_CONSTANT_MAX) && warn_cnt < MAX_SIZE_WARNINGS) {
            warn_cnt++;
            printf(" *** Warning. overflow while reading constant.\n");
            fflush(stdout);
        }
        result->value = static_cast<int32_t>(value);
    } else {
        std::vector<uint32_t> lsf(static_cast<size_t>(limbs.count));
        size_t i = lsf.size();
        for (numnode* p = limbs.head; p; p = p->next) lsf[--i] = static_cast<uint32_t>(p->digit);
        number_from_base_10(lsf.data(), limbs.count, result);
    }
    give_back_chain(limbs.head, limbs.tail);
}
