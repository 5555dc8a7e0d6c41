// Permanent and logged conversions of single values into the current
// ground ring (see change_mod.h).
#include "quoly/change_mod.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "interp/token.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "poly/residue_conv.h"
#include "quoly/quoly.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "toplevel/errors.h"

namespace {

using quoly_detail::lone_number;

constexpr int NO_INVERSE = 85;

void push_fix(void* target, void* saved, int32_t kind) {
    fix* f;
    newfix(&f);
    f->target = target;
    f->saved = saved;
    f->kind = kind;
    f->next = masterfix;
    masterfix = f;
}

// The word at `word` goes on the log before it changes.
void log_word(void** word) { push_fix(word, *word, FIX_SLOT); }
void log_den(quoly* q) { push_fix(&q->den, q->den, FIX_SLOT); }

void log_kind(quoly* q, int32_t kind) { push_fix(q, nullptr, kind); }

// The two flag words, isnum and rat, are one pointer-sized word for the
// log: a slot entry puts both back.
static_assert(offsetof(quoly, rat) == offsetof(quoly, isnum) + sizeof(int32_t) &&
                  sizeof(int32_t) * 2 == sizeof(void*),
              "the flag words of a quoly are logged as one word");
void log_flags(quoly* q) {
    void* word;
    std::memcpy(&word, &q->isnum, sizeof word);
    push_fix(&q->isnum, word, FIX_SLOT);
}

// A machine-word number owning no digits.
imag* residue_number(int32_t v) {
    imag* x;
    newimag(&x);
    x->head = nullptr;
    x->tail = nullptr;
    x->count = 0;
    x->value = v;
    return x;
}

// Frees a value that may still hold digit chains: with machine-integer mode
// on, free_num would keep the chains and lose them.
void free_mixed(quoly** slot) {
    LintOff digits;
    free_quoly(slot);
}

// Normal form of a quoly in the new ring; false when that failed with an
// error (a leading coefficient without inverse under a composite modulus),
// whose report has been printed; *slot is then freed.
bool normalise(quoly** slot) {
    try {
        ContainedErrors contain;
        check_quoly(slot, laurent);
        return true;
    } catch (const TarvexUnwind&) {
        free_mixed(slot);
        return false;
    }
}

// The report a normal form that needs a missing inverse prints; the
// conversion that met it goes on.
void report_no_inverse() {
    try {
        error(NO_INVERSE, quotsign);
    } catch (const TarvexUnwind&) {
    }
}

void report_zero_denominator() {
    std::printf(" *** Inappropriate symbol: %s\n", token.name);
    out_err_mess(210);
    std::printf(" Change of precedence will continue. Some data may not be reasonably changed.\n");
    std::fflush(stdout);
}

// The conversions below differ only in how one number becomes its residue.
template <class Residue>
void poly_into_ring(polynode** slot, Residue residue) {
    polynode** link = slot;
    while (polynode* t = *link) {
        bool gone;
        if (t->numb) {
            residue(t->ncoef);
            gone = t->ncoef->value == 0;
        } else {
            poly_into_ring(&t->pcoef, residue);
            gone = t->pcoef == nullptr;
        }
        if (gone) {
            *link = t->next;
            t->next = nullptr;
            free_poly(&t);
            continue;
        }
        if (t->exp == 0 && !t->numb && lone_number(t->pcoef)) {
            // The constant of this level is a number: its node stands here.
            polynode* c = t->pcoef;
            c->next = t->next;
            *link = c;
            t->pcoef = nullptr;
            t->next = nullptr;
            free_poly(&t);
            link = &c->next;
            continue;
        }
        link = &t->next;
    }
}

template <class Residue>
void quoly_into_ring(quoly** slot, Residue residue) {
    quoly* q = *slot;
    if (q->isnum) {
        residue(q->nnum);
        return;
    }
    q->rat = 0;
    poly_into_ring(&q->pnum, residue);
    if (!q->pnum) {
        free_mixed(slot);
        return;
    }
    if (q->den) {
        poly_into_ring(&q->den, residue);
        if (!q->den) {
            free_mixed(slot);
            std::printf("Warning. A zero quoly denominator was found. That quoly was set to 0.\n");
            std::fflush(stdout);
            return;
        }
        normalise(slot);
        return;
    }
    if (lone_number(q->pnum)) polynum_to_quoly(slot);
}

void digits_into_ring(imag* n) { change_num(n, 1, 1); }

}  // namespace

void poly_change_num(polynode** slot) { poly_into_ring(slot, digits_into_ring); }

void quoly_change_num(quoly** slot) { quoly_into_ring(slot, digits_into_ring); }

void quoly_words_into_ring(quoly** slot) { quoly_into_ring(slot, number_into_ring); }

bool conversion_lacks_inverse(const quoly* q, bool quiet) {
    // A number, and a polynomial without denominator, always has a residue.
    if (!q || q->isnum || !q->den) return false;
    quoly* copy = nullptr;
    {
        LintOff digits;
        quoly_assign(const_cast<quoly*>(q), &copy);
    }
    copy->rat = 0;
    poly_change_num(&copy->pnum);
    poly_change_num(&copy->den);
    // A denominator the modulus kills has no inverse, whatever the modulus:
    // the value has no element of the ring.
    if (!copy->den) {
        free_mixed(&copy);
        if (!quiet) report_no_inverse();
        return true;
    }
    // A value whose numerator vanishes converts to 0; over a relation only
    // when the ring can divide by the denominator (a numerator reduced to 0
    // over a divisor of 0 is no value): that is tried as its reciprocal.
    if (!copy->pnum && !pseudo_polynames) {
        free_mixed(&copy);
        return false;
    }
    if (!copy->pnum) poly_set(1, &copy->pnum);
    if (quiet) {
        QuietInverseFailures silence;
        if (!normalise(&copy)) return true;
    } else if (!normalise(&copy)) {
        return true;
    }
    free_quoly(&copy);
    return false;
}

void quoly_change_to_mod(quoly** slot, bool report) {
    quoly* q = *slot;
    if (q->isnum) {
        // The digit chain stays: in rational mode it is the value again.
        change_num(q->nnum, 0, 0);
        return;
    }
    const bool had_den = q->den != nullptr;
    log_flags(q);
    q->rat = 0;
    poly_change_to_mod(&q->pnum, 0);
    if (had_den) poly_change_to_mod(&q->den, 0);

    if (!q->pnum) {
        log_word(&q->num);
        log_den(q);
        q->nnum = residue_number(0);
        q->den = nullptr;
        q->isnum = 1;
        log_kind(q, FIX_NEW_NUMBER);
        return;
    }
    if (had_den && !q->den) {
        if (report) report_zero_denominator();
        if (lone_number(q->pnum)) {
            log_word(&q->num);
            q->nnum = q->pnum->ncoef;
            q->isnum = 1;
            log_kind(q, FIX_LIFTED);
        }
        return;
    }
    if (!had_den) {
        if (lone_number(q->pnum)) {
            log_word(&q->num);
            q->nnum = q->pnum->ncoef;
            q->isnum = 1;
            log_kind(q, FIX_LIFTED);
        }
        return;
    }
    // Cancelling and making monic work on copies: the converted nodes must
    // stay as they are for the way back.
    quoly* r;
    newquoly(&r);
    r->link = nullptr;
    r->isnum = 0;
    r->rat = 0;
    r->pnum = nullptr;
    r->den = nullptr;
    poly_assign(q->pnum, &r->pnum);
    poly_assign(q->den, &r->den);
    if (!normalise(&r)) return;
    log_word(&q->num);
    log_den(q);
    q->num = r->num;
    q->den = r->isnum ? nullptr : r->den;
    q->isnum = r->isnum;
    log_kind(q, r->isnum ? FIX_NEW_NUMBER : FIX_NEW_POLYS);
    // The record goes back empty: its parts now belong to q.
    r->isnum = 1;
    r->nnum = nullptr;
    free_quoly(&r);
}
