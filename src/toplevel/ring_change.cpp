// The change of ground ring itself: the modulus asked for or given, the
// ground-ring globals and cut-offs of the new ring, and the walk over the
// stored values (or the conversion list) in the order each direction needs.
#include <cstdio>
#include <vector>

#include "gcd/gcdstash.h"
#include "gcd/modswitch.h"
#include "gcd/onevar_div.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "quoly/change_mod.h"
#include "storage/assign.h"
#include "storage/nodetests.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/prompted_settings.h"
#include "toplevel/ring_change.h"

double rmodulus = -1;
int32_t rational_disp_size = -1;
int symmetric_outside_field = -1;

void record_symmetric_display() {
    if (modularmode && finf) symmetric_outside_field = alt_form_display;
}

namespace {

// Field elements are bit patterns without negative representatives; the
// field flags are already cleared when the values come back. Set only
// while the way back from a field runs.
bool leaving_field = false;

// Cut-offs of products and divisions in each ring.
constexpr int32_t MODULAR_POLY_CUTOFF = POLY_CUTOFF_START;
constexpr int32_t MODULAR_DIV_CUTOFF = 25;
constexpr int32_t RATIONAL_DIV_CUTOFF = 6;
constexpr int32_t MODULAR_DISP_SIZE = 16;
constexpr int32_t RATIONAL_DISP_SIZE = 4;

constexpr int NOT_INVERTIBLE = 85;

bool modulus_in_range(int32_t m) { return m >= 2 && m <= MAX_MODULUS; }

// The modulus the user gives; 0 when an error was resumed (nothing changes).
int32_t ask_modulus(FILE** input, name** pending) {
    SlotHold answer;
    if (tt_flag) {
        for (;;) {
            std::printf(" Enter modulus:\n");
            do_prompts();
            read_answer(&answer.q);
            if (!answer.q->isnum) {
                error(148, token.name);
                return 0;
            }
            const int32_t m = quoly_convert_to_int(answer.q);
            if (modulus_in_range(m)) return m;
            std::printf(" *** Improper modulus %li. upper limit is %li. Reenter.\n", static_cast<long>(m),
                        static_cast<long>(MAX_MODULUS));
        }
    }
    old_expre(input, &answer.q, pending);
    if (!answer.q->isnum) {
        error(148, token.name);
        return 0;
    }
    return quoly_convert_to_int(answer.q);
}

template <class F>
void for_each_scalar(F f) {
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* v = sca_store[b]; v; v = v->next) f(&v->value);
}

void reset_results(quoly** value) {
    quoly_set(0, &prevnum);
    quoly_set(0, value);
    quoly_set(0, &sysnum);
}

void free_results(quoly** value) {
    free_quoly(&prevnum);
    free_quoly(value);
    free_quoly(&sysnum);
    // Stashed gcds belong to the old ring.
    sure_free_gcd_stash();
}

void set_random_denominator_one() {
    imag* r = random_denominator();
    LintOff digits;
    special_set(1, r);
    r->value = 1;
}

// A binomial relation whose constant the modulus divides converts to no
// polynomial; for the trial below it is the zero polynomial, as the change
// itself makes it, and is put back to what the conversion left before the
// switch replays its log.
struct ZeroRelations {
    std::vector<pt*> made;
    ZeroRelations() {
        for (pt* v = polynames; v; v = v->next)
            if (v->binomial && !v->relation) {
                poly_set(0, &v->relation);
                made.push_back(v);
            }
    }
    ~ZeroRelations() {
        for (pt* v : made) free_poly(&v->relation);
    }
    ZeroRelations(const ZeroRelations&) = delete;
    ZeroRelations& operator=(const ZeroRelations&) = delete;
};

// Whether a full conversion into the modulus m would meet a value that has
// no element of that ring (its report printed): a denominator m kills, an
// inverse m lacks, a
// common factor that a relation making no field cannot divide out, or a
// field element the relation, reducible modulo m, cannot invert.
bool some_value_lacks_inverse(int32_t m) {
    ModularSwitch trial;
    install_modulus(m);
    modularmode = 1;
    lintmode = 1;
    mod_is_prime = is_prime(m);
    // The normal forms are tried as the change will make them: with the
    // relations in residues, and no gcd of the old ring from the stash.
    modularmode = 0;
    lintmode = 0;
    trial.convert_variables();
    trial.begin_arithmetic();
    ZeroRelations zeros;
    lookupgcd = 0;
    for (int32_t b = 0; b < SCA_BUCKETS; b++)
        for (var* v = sca_store[b]; v; v = v->next)
            if (conversion_lacks_inverse(v->value, false)) return true;
    bool lacks = false;
    each_array_value([&lacks](quoly** slot) {
        if (!lacks) lacks = conversion_lacks_inverse(*slot, false);
    });
    return lacks;
}

void to_modular(FILE** input, quoly** value, name** pending, int32_t m, name* list, int report) {
    if (lintmode) {
        error(62, token.name);
        return;
    }
    if (report) {
        std::printf(" Changing to modular arithmetic.\n");
        std::fflush(stdout);
    }
    if (m == -1) {
        m = ask_modulus(input, pending);
        if (m == 0) return;
    }
    if (!modulus_in_range(m)) {
        // Refused before anything changed: the ring stays as it is.
        error(84, token.name);
        return;
    }
    // Nor does a full change go through that would lose a value for want
    // of an inverse: the failure is reported and nothing moves.
    if (!list && some_value_lacks_inverse(m)) abandon_statement(NOT_INVERTIBLE);

    install_modulus(m);
    rmodulus = m;
    free_results(value);
    modularmode = 1;
    lintmode = 1;
    reset_results(value);

    rational_disp_size = disp_size;
    calc_disp(0, MODULAR_DISP_SIZE);
    reset_cutoffs(MODULAR_POLY_CUTOFF);
    poly_cutoff = MODULAR_POLY_CUTOFF;
    div_poly_cutoff = MODULAR_DIV_CUTOFF;
    mod_is_prime = is_prime(m);
    if (m < limit_char_arrays) limit_char_arrays = m;

    change_polydata(0);
    values_await_rational = list ? 1 : 0;
    RingChange frame{input, pending, 0};
    if (list) {
        change_local(list, &frame);
        // What the list left out keeps its digits, which the way back finds
        // again; meanwhile its words are the residues of its numbers, so
        // that modular arithmetic never reads a word this ring did not set,
        // and a save read back gives the same words.
        for_each_scalar([](quoly** slot) { give_left_out_words(*slot); });
        left_out_array_words();
        // Words alone do not make a rational, a value with a denominator
        // or a coefficient the modulus divides into an element of the ring:
        // those are taken into the ring as starred values are, and the
        // way back gives them back as they were.
        star_left_out_scalars();
        star_left_out_arrays();
    } else {
        for_each_scalar([](quoly** slot) {
            if (*slot) quoly_change_num(slot);
            if (!*slot) quoly_set(0, slot);
        });
        change_arrays(0);
        change_sparses(0);
    }
    was_in_rat = 0;

    // The two fields report their characteristic.
    if (finf) {
        modulus = 2;
        mod_is_prime = 1;
    }
    if (report) {
        std::printf(" Now in modular mode. Modulus is %li,", static_cast<long>(modulus));
        std::printf(mod_is_prime ? " a prime" : " not a prime");
        if (f256)
            std::printf("; working over the prime field of 2^8 = 256 elements.\n");
        else if (f2t16)
            std::printf("; working over the prime field of 2^16 = 65536 elements.\n");
        else
            std::printf(".\n");
        std::fflush(stdout);
    }
    if (finf) {
        modulus = f256 ? 256 : 65536;
        symmetric_outside_field = alt_form_display;
        alt_form_display = 0;
        mod_is_prime = 1;
        smallmodulus = 1;
    }
    set_random_denominator_one();
    reset_results(value);
}

void to_rational(quoly** value, FILE** input, name** pending, name* list, int report) {
    if (report) {
        std::printf(" Changing to rational arithmetic.\n");
        std::fflush(stdout);
    }
    if (changed_in_modmode) {
        error(353, token.name);
        return;
    }
    settle_starred_writes();
    free_results(value);
    leaving_field = finf;
    modularmode = 0;
    lintmode = 0;
    f256 = 0;
    f2t16 = 0;
    finf = 0;
    reset_cutoffs(MODULAR_POLY_CUTOFF);
    poly_cutoff = MODULAR_POLY_CUTOFF;
    div_poly_cutoff = RATIONAL_DIV_CUTOFF;
    reset_results(value);

    RingChange frame{input, pending, 1};
    if (list) change_local(list, &frame);
    // Rational arithmetic cannot read a residue: every value still held as
    // one comes back, named in the list or not. Values that kept their
    // digits (left out on the way in, or converted temporarily) stay as
    // they are.
    for_each_scalar([](quoly** slot) {
        if (*slot)
            value_from_mod(*slot);
        else
            quoly_set(0, slot);
    });
    change_arrays(1);
    change_sparses(1);
    change_polydata(1);
    reinstate_starred();
    values_await_rational = 0;

    modulus = -1;
    rmodulus = -1;
    limit_char_arrays = DENOM_SIZE;
    was_in_rat = 1;
    calc_disp(0, rational_disp_size >= 0 ? rational_disp_size : RATIONAL_DISP_SIZE);
    rational_disp_size = -1;
    if (leaving_field && symmetric_outside_field >= 0) alt_form_display = symmetric_outside_field;
    symmetric_outside_field = -1;
    // Values read back later (a save's way back) come from this ring.
    leaving_field = false;
    set_random_denominator_one();
    reset_results(value);
}

void number_from_mod(imag* n) {
    // A digit chain means the number was never reduced.
    if (n->count > 0) return;
    int64_t v = n->value;
    if (alt_form_display && !finf && !leaving_field && v > (int64_t{modulus} >> 1)) v -= modulus;
    LintOff digits;
    setvalue(static_cast<int32_t>(v), n);
}

}  // namespace

void value_from_mod(quoly* q) { each_number(q, number_from_mod); }

bool kept_digits(const polynode* p) {
    for (; p; p = p->next)
        if (p->numb ? p->ncoef->count <= 0 : !kept_digits(p->pcoef)) return false;
    return true;
}

bool left_out_value(const quoly* q) {
    if (!q) return false;
    if (q->isnum) return q->nnum->count > 0;
    return q->pnum && kept_digits(q->pnum);
}

namespace {

bool no_zero_words(const polynode* p) {
    for (; p; p = p->next)
        if (p->numb ? p->ncoef->value == 0 : !no_zero_words(p->pcoef)) return false;
    return true;
}

bool all_zero_words(const polynode* p) {
    for (; p; p = p->next)
        if (p->numb ? p->ncoef->value != 0 : !all_zero_words(p->pcoef)) return false;
    return true;
}

}  // namespace

bool left_out_reads_as_words(const quoly* q) {
    if (!left_out_value(q) || q->isnum) return true;
    return !q->rat && !q->den && no_zero_words(q->pnum);
}

bool left_out_converts(const quoly* q) {
    if (!q || q->isnum || !q->den) return true;
    if (all_zero_words(q->den)) return false;
    return !conversion_lacks_inverse(q, true);
}

namespace {

// Modular mode, or a count read exactly in it (modular arithmetic
// suspended, stored values read in the ring's words).
bool reading_in_ring() { return modularmode || lintmode; }

}  // namespace

void refuse_unconverted_read(const quoly* q) {
    if (!values_await_rational || !reading_in_ring() || left_out_reads_as_words(q)) return;
    error(NOT_INVERTIBLE, token.name);
    abandon_statement(NOT_INVERTIBLE);
}

bool left_out_needs_reading(const quoly* q) {
    return values_await_rational && reading_in_ring() && !left_out_reads_as_words(q);
}

void refuse_unless_converts(const quoly* q) {
    if (!left_out_needs_reading(q)) return;
    // Tried in the ring, also from a count read with modular arithmetic off.
    const bool converts = [q] {
        ModularOn ring;
        return left_out_converts(q);
    }();
    if (!converts) refuse_unconverted_read(q);
}

bool read_left_out_converted(const quoly* q, quoly** value) {
    if (!left_out_needs_reading(q)) return false;
    refuse_unless_converts(q);
    free_quoly(value);
    {
        LintOff digits;
        quoly_assign(const_cast<quoly*>(q), value);
    }
    const ModularOn ring;
    quoly_change_num(value);
    if (!*value) quoly_set(0, value);
    return true;
}

void copy_in_ring(const quoly* q, quoly** copy) {
    if (!read_left_out_converted(q, copy)) quoly_assign(const_cast<quoly*>(q), copy);
}

void enter_ring_in_place(quoly** slot) {
    if (!slot || !*slot) return;
    quoly* read = nullptr;
    if (!read_left_out_converted(*slot, &read)) {
        if (!values_await_rational || !modularmode || !left_out_value(*slot)) return;
        // Its words are its element. Copied in modular mode it keeps them
        // alone: no digit of the old value may outlive the change, or the
        // way back would mix the two.
        quoly_assign(*slot, &read);
    }
    retire_value(slot);
    *slot = read;
}

void give_left_out_words(quoly* q) {
    if (!left_out_value(q)) return;
    // Every number that kept its digits gets its residue as its word.
    each_number(q, [](imag* n) {
        if (n->count > 0) change_num(n, 0, 0);
    });
}

void change_prec(FILE** input, quoly** value, name** pending, int32_t new_modulus, name* list, int report) {
    if (modularmode)
        to_rational(value, input, pending, list, report);
    else
        to_modular(input, value, pending, new_modulus, list, report);
}
