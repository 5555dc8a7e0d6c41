// The output file command (&S, &s, &(S = name)) and the save text: the
// switch lines, the polynomial variables, the functions, the scalars and
// the arrays, each statement ending its line (the reader skips the rest of
// a line after a statement), ended by "&x;" on a line of its own.
#include "toplevel/save_file.h"

#include <cstring>
#include <string>
#include <vector>

#include "gcd/algc.h"
#include "gcd/trialdiv.h"
#include "interp/functions.h"
#include "interp/readers.h"
#include "interp/scalars.h"
#include "interp/scanner.h"
#include "interp/settings.h"
#include "interp/token.h"
#include "matrix/array_store.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "quoly/adjoin.h"
#include "storage/assign.h"
#include "storage/equality.h"
#include "storage/nodetests.h"
#include "storage/other_records.h"
#include "storage/records.h"
#include "toplevel/display.h"
#include "toplevel/errors.h"
#include "toplevel/loop.h"
#include "toplevel/read_file.h"
#include "toplevel/datafiles.h"
#include "toplevel/ring_change.h"

namespace {

constexpr int32_t SHOWN_PER_NAME = 10;       // records of one name written before the rest are counted
constexpr int32_t ARRAY_BUCKETS = 151;
constexpr int32_t LISTED_PER_BUCKET = 20;    // unsorted array listing: per bucket
constexpr int32_t LISTED_ARRAYS = 1500;      // and in all
constexpr int PRIMES_PER_LINE_FIRST = 7;     // auxiliary primes: a line break after the 7th, 17th, ...
constexpr int PAIRS_PER_LINE = 6;

// ---- the save text ----

void switch_lines(FILE* out) {
    if (errorpush) std::fprintf(out, "&(e = 1);\n");
    if (!noisy) std::fprintf(out, "&(N = 0);\n");
    std::fprintf(out, "&(m = %li);\n", static_cast<long>(m_interrupt));
    std::fprintf(out, "&(a = %d);\n", addresser == 1 ? 1 : 0);
    if (!chpoly_block) std::fprintf(out, "&(B = 0);\n");
    if (detcutoff >= 0) std::fprintf(out, "&(D = %li);\n", static_cast<long>(detcutoff));
    if (std::strcmp(prompt, ">") != 0) {
        if (prompt[0] == 13)
            std::fprintf(out, "&(M = ' ');\n");
        else
            std::fprintf(out, "&(M = '%s');\n", prompt);
    }
    if (uglyprint) std::fprintf(out, "&(U = 1);\n");
    if (monomial_list) std::fprintf(out, "&(_l = 1);\n");
    if (timerflag) std::fprintf(out, "&(t = 1);\n");
    if (verbose) std::fprintf(out, "&(V = 1);\n");
    if (windy) std::fprintf(out, "&(W = 1);\n");
    if (lagrange_stash) std::fprintf(out, "&(_L = 1);\n");
    if (rat_det_method_cut == 1) std::fprintf(out, "&(L = 1);\n");
    std::fprintf(out, "&(u = %li);\n", static_cast<long>(pseudet_heur));
    // The search factors act while the relations below are read.
    if (aux_num_2factor != AUX2_FACTOR_START) std::fprintf(out, "&(A = %d);\n", aux_num_2factor);
    if (aux_num_1factor != AUX1_FACTOR_START) std::fprintf(out, "&(X = %d);\n", aux_num_1factor);
    if (diskstore) std::fprintf(out, "&(& = 1);\n");
    if (!extra_line) std::fprintf(out, "&(E = 0);\n");
    if (!chinhensel) std::fprintf(out, "&(O = 0);\n");
    if (!pos_mod) std::fprintf(out, "&(| = 0);\n");
    if (!do_line_sup) std::fprintf(out, "&(_s = 0);\n");
    if (!try_rat) std::fprintf(out, "&(_t = 0);\n");
    if (dispcutoff != DISPLAY_COLUMNS_START) std::fprintf(out, "&(_d = %d);\n", dispcutoff);
}

// Settings that a change of ground ring resets: written after its line.
void ring_setting_lines(FILE* out) {
    const int symmetric = modularmode && finf ? 0 : 1;
    if (alt_form_display != symmetric) std::fprintf(out, "&(H = %d);\n", alt_form_display ? 1 : 0);
    if (poly_cutoff != POLY_CUTOFF_START) std::fprintf(out, "&(# = %li);\n", static_cast<long>(poly_cutoff));
    // Like L, the only value a line can give besides the start-up one.
    if (gauss_cutoff == 1) std::fprintf(out, "&(K = 1);\n");
    imag* denominator = random_denominator();
    if (!equal(denominator, number_1)) {
        std::fprintf(out, "&(_r = ");
        FILE* stream = out;
        int32_t col = 0;
        display(&stream, 0, 0, denominator, &col, 0);
        std::fprintf(out, ");\n");
    }
}

// The auxiliary primes after a field's relation: the first ones, then the
// variable's second ones in pairs. A relation declared in modular mode has
// neither, as given: two empty lists say so, where nothing at all would
// have them computed when the file is read.
void aux_prime_lists(FILE* out, pt* v, bool modular, bool after_change) {
    // Read in modular mode, a relation takes no prime lists.
    if (after_change || (modular && aux_prime1_number <= 0 && !v->aux_primes)) {
        std::fprintf(out, ": :");
        return;
    }
    if (aux_prime1_number > 0) {
        std::fprintf(out, ":");
        int i = 1;
        for (imag* p = auxptr; p && i <= aux_prime1_number; p = p->link, i++) {
            std::fprintf(out, i < aux_prime1_number ? " %li," : " %li", static_cast<long>(p->value));
            if (i % 10 == PRIMES_PER_LINE_FIRST) std::fprintf(out, "\n ");
        }
    } else if (v->aux_primes) {
        std::fprintf(out, ": ");
    }
    if (!v->aux_primes) return;
    std::fprintf(out, "\n :");
    int pair = 0;
    // One entry per pair: the prime q in the machine word, the root r in
    // the single digit (the form the gcd's images read).
    for (imag* p = v->aux_primes; p; p = p->link) {
        if (pair > 0) {
            std::fprintf(out, ",");
            if (pair % PAIRS_PER_LINE == 0) std::fprintf(out, "\n");
        }
        std::fprintf(out, " %li, %li", static_cast<long>(p->value), static_cast<long>(p->head ? p->head->digit : 0));
        pair++;
    }
}

// A relation is written in rational form, read back in rational mode
// before the ground-ring line converts it.
void relation_line(FILE* out, pt* v, bool after_change = false) {
    const int was_lint = lintmode;
    polynode* rel = written_relation(v);
    // In modular mode the numbers of a relation are residues in their
    // machine words. One declared before the change kept its digits and is
    // written as declared, which its auxiliary primes fit, terms the
    // modulus killed included: the way back gives them back. One declared
    // in modular mode has no digits: the file gets the integers its
    // residues stand for, made while the words are still read as residues.
    polynode* lifted = nullptr;
    polynode* before = relation_before_change(v);
    if (was_lint && before && kept_digits(rel)) {
        rel = before;
    } else if (was_lint && !kept_digits(rel)) {
        poly_assign(rel, &lifted);
        poly_change_from_mod(lifted);
        rel = lifted;
    }
    int saved_modular = 0;
    check_modular(&saved_modular);
    LintOff lint_off;
    if (was_lint) {
        std::fprintf(out, "\n;; Warning. This file was saved in modular mode. The polynomial written\n");
        std::fprintf(out, ";;   below after &(P = has been converted back to rational mode. It may\n");
        std::fprintf(out, ";;   not be correct. Check it before reading this file.\n");
    }
    std::fprintf(out, "\n &(P = ");
    int32_t col = 7, lines = 0;
    FILE* stream = out;
    poly_display(&stream, 0, 0, rel, &col, "", v, 0, 1, &lines);
    // Its digits go back while digit arithmetic is on.
    free_poly(&lifted);
    if (v->field) {
        std::fprintf(out, ", 1");
        aux_prime_lists(out, v, was_lint, after_change);
    }
    std::fprintf(out, ");\n");
    restore_modular(saved_modular);
}

void functions_section(FILE* out) {
    std::fprintf(out, ";;** functions:\n");
    tokenrec star;
    set_token(&star, "*");
    name* none = nullptr;
    FILE* in = Input;
    listfuncs(out, &in, 0, &star, &none);
}

// Every array record in bucket order; within a chain newest first, or
// oldest first for a save.
std::vector<array*> all_arrays(bool oldest_first) {
    std::vector<array*> arrays;
    for (array* head : arr_store) append_chain(&arrays, head, &array::link, oldest_first);
    return arrays;
}

// Records in listing order: sorted by name (chain order within a name) up
// to SORTP_ENTRIES of them, else as given.
template <class Rec>
std::vector<Rec*> listing_order(const std::vector<Rec*>& records) {
    if (records.size() > static_cast<size_t>(SORTP_ENTRIES)) return records;
    std::vector<sort_entry> table(records.size());
    for (size_t i = 0; i < records.size(); i++) set_listing_entry(&table[i], records[i]->name, static_cast<int32_t>(i));
    sort_listing(table.data(), static_cast<int32_t>(table.size()));
    std::vector<Rec*> sorted;
    sorted.reserve(records.size());
    for (const sort_entry& e : table) sorted.push_back(records[static_cast<size_t>(e.item)]);
    return sorted;
}

void arrays_section(FILE* out, bool split, bool all_before) {
    std::fprintf(out, "\n;;**  arrays:\n");
    FILE* stream = out;
    const std::set<const array*> pulled = split ? pulled_before_line() : std::set<const array*>{};
    for (array* a : all_before ? std::vector<array*>{} : save_order_arrays()) {
        if (pulled.count(a)) continue;
        const CellSides sides = split ? cell_sides(a) : CellSides{};
        if (!sides.left_out)
            do_array_p(&stream, a);
        else if (sides.converted)
            do_array_part(&stream, a, SavePart::converted);
    }
    // Read earlier, it would leave the values above unreduced.
    if (nomodpolyreadin) std::fprintf(out, "&(n = 1);\n");
    std::fprintf(out, "&x;\n");
}

void write_save_text(FILE* out) {
    switch_lines(out);
    // Values left out are read in rational mode, and the change that
    // follows converts nothing, as the one that left them out did not,
    // but the starred variables.
    const bool all_before = modularmode && way_back_save_wanted();
    const bool split = !all_before && modularmode && any_left_out();
    // Polynomial variables or relations changed in modular mode closed the
    // way back to rational arithmetic: declared after the ring-change line,
    // they close it in the read too.
    const bool polys_after = modularmode && changed_in_modmode && !all_before && !split;
    if (number_polys > 0 && !polys_after) polylist_save(out, false);
    if (laurent) std::fprintf(out, "&(l = 1);\n");
    if (split) left_out_section(out);
    if (all_before) way_back_section(out);
    // The display a field gives back when it is left is held by the change
    // into it, so it is set before the change.
    if (modularmode && finf && symmetric_outside_field == 0) std::fprintf(out, "&(H = 0);\n");
    if (all_before)
        std::fprintf(out, "&(p = %li : **);\n", static_cast<long>(modulus));
    else if (modularmode && split)
        std::fprintf(out, "&(p = %li : %s);\n", static_cast<long>(modulus), starred_list().c_str());
    else if (modularmode)
        std::fprintf(out, "&(p = %li);\n", static_cast<long>(modulus));
    if (number_polys > 0 && polys_after) polylist_save(out, true);
    ring_setting_lines(out);
    std::fprintf(out, "\n\n");
    functions_section(out);
    std::fprintf(out, "\n;;** scalars:\n");
    if (!all_before) dump_part(out, 0, 0, noisy, split ? SavePart::converted : SavePart::whole);
    arrays_section(out, split, all_before);
    std::fflush(out);
    if (uglyprint)
        std::printf(" Warning: You saved with ugly format! File is unreadable, except for the variables.\n");
}

// ---- scalars ----

// Every scalar record in listing order: sorted by name, or beyond what a
// listing sorts in bucket order. Records of one name (bindings of nested
// calls) come newest first in a listing, oldest first in a save: reading
// the text back assigns them in turn, so the newest value, the one the
// name stands for, must come last.
std::vector<var*> scalars_in_order(bool oldest_first) {
    std::vector<var*> all;
    for (var* head : sca_store) append_chain(&all, head, &var::next, oldest_first);
    return listing_order(all);
}

bool is_array_parameter(const var* v) { return v->value && v->value->isnum && v->value->den; }

void write_p_stuff(FILE* out, var* v, int listing, int finish, int show_values, SavePart part,
                   const std::map<const var*, quoly*>* instead) {
    if (!listing && is_array_parameter(v)) return;
    // Before the ring-change line a starred variable gets the value it
    // will come back as; the change's list stars it again.
    quoly* original = part == SavePart::whole ? nullptr : starred_original(v);
    if (part == SavePart::way_back) {
        const auto it = instead->find(v);
        original = it == instead->end() ? nullptr : it->second;
    } else if (part != SavePart::whole && (part == SavePart::left_out) != (original || left_out_value(v->value))) {
        return;
    }
    std::fprintf(out, " %s", v->name);
    if (!show_values && listing) {
        std::fprintf(out, "\n");
        return;
    }
    std::fprintf(out, " := ");
    if (is_array_parameter(v)) {
        std::fprintf(out, " array parameter.\n");
        return;
    }
    quoly* q = original ? original : v->value;
    if (!q) {
        // A parameter whose value was moved away holds nothing: it reads as 0.
        std::fprintf(out, listing ? "0\n" : "0;\n");
        return;
    }
    // A listing shows what reading the name gives: a left-out value its
    // words do not give as its element of the ring, and in place of one
    // without an element the report reading it makes.
    SlotHold element;
    if (listing && left_out_needs_reading(q)) {
        if (!left_out_converts(q)) {
            std::fprintf(out, "%s\n", erp[85]);
            return;
        }
        read_left_out_converted(q, &element.q);
        q = element.q;
    }
    if (!q->isnum && (!q->rat || lintmode) && !monomial_list && !uglyprint) std::fprintf(out, "&_n ");
    int32_t col = static_cast<int32_t>(std::strlen(v->name)) + 5;
    FILE* stream = out;
    quoly_display(&stream, listing, finish, 1, q, &col, ";", polynames, 0, 0, 0);
    if (!q->isnum) std::fprintf(out, "\n");
}

// ---- the output file ----

void close_output(bool direct) {
    if (!output_file_name[0] && !outpuf) {
        if (direct) std::printf(" *** Warning. No output file had been open.\n");
        return;
    }
    if (outpuf) {
        std::fflush(outpuf);
        std::fclose(outpuf);
        outpuf = nullptr;
    }
    if (direct) std::printf(" Now closing %s.\n", output_file_name);
    output_file_name[0] = 0;
}

}  // namespace

std::vector<array*> save_order_arrays() { return listing_order(all_arrays(true)); }

void polylist_save(FILE* out, bool after_change) {
    std::fprintf(out, "\n");
    std::vector<pt*> vars;
    for (pt* v = polynames; v; v = v->next) vars.push_back(v);
    for (auto it = vars.rbegin(); it != vars.rend(); ++it) {
        pt* v = *it;
        std::fprintf(out, "    &(J = %s);", v->name);
        if (!v->relation) {
            std::fprintf(out, "\n");
            continue;
        }
        relation_line(out, v, after_change);
    }
    std::fprintf(out, "\n");
}


void dump(FILE* out, int listing, int finish, int show_values) {
    dump_part(out, listing, finish, show_values, SavePart::whole);
}

void dump_part(FILE* out, int listing, int finish, int show_values, SavePart part,
               const std::map<const var*, quoly*>* instead) {
    const bool saving = !listing;
    std::vector<var*> order = scalars_in_order(saving);
    // A save made at a level opened inside a call writes the session's
    // values: the call's locals go when it returns, and read back they
    // would stand for the names they hide, or create them.
    if (saving) std::erase_if(order, [](const var* v) { return local_of_call_below_level(v); });
    size_t i = 0;
    while (i < order.size()) {
        size_t j = i;
        while (j < order.size() && std::strcmp(order[j]->name, order[i]->name) == 0) j++;
        const size_t more = j - i > static_cast<size_t>(SHOWN_PER_NAME) ? j - i - SHOWN_PER_NAME : 0;
        // The ten newest are written: first in a listing, last in a save.
        for (size_t k = saving ? i + more : i; k < (saving ? j : j - more); k++)
            write_p_stuff(out, order[k], listing, finish, show_values, part, instead);
        if (more > 0) std::printf(" ... %d more with this name. \n", static_cast<int>(more));
        i = j;
    }
}

void listvars(int show_values) {
    dump(Output, 1, 1, show_values);
    std::fprintf(Output, "\narrays:\n\n");
    std::vector<array*> arrays = all_arrays(false);
    if (arrays.size() <= static_cast<size_t>(SORTP_ENTRIES)) {
        std::vector<array*> order = listing_order(arrays);
        for (size_t i = 0; i < order.size();) {
            size_t j = i;
            while (j < order.size() && std::strcmp(order[j]->name, order[i]->name) == 0) {
                if (j - i < static_cast<size_t>(SHOWN_PER_NAME)) arrdescribe(order[j]);
                j++;
            }
            if (j - i > static_cast<size_t>(SHOWN_PER_NAME))
                std::printf(" ... %d more with this name. \n", static_cast<int>(j - i) - SHOWN_PER_NAME);
            i = j;
        }
        return;
    }
    // Too many to sort: bucket order, a few per bucket.
    long met = 0;
    for (int32_t b = 0; b < ARRAY_BUCKETS; b++) {
        long in_bucket = 0;
        for (array* a : arrays) {
            if (hash(a->name, ARRAY_BUCKETS) != b) continue;
            met++;
            in_bucket++;
            if (in_bucket <= LISTED_PER_BUCKET && met <= LISTED_ARRAYS) arrdescribe(a);
        }
        if (in_bucket > LISTED_PER_BUCKET && met <= LISTED_ARRAYS)
            std::printf(" ... %li more.\n", in_bucket - LISTED_PER_BUCKET);
    }
    if (met > LISTED_ARRAYS) {
        std::printf("   ....\n");
        std::printf(" There are %li arrays.\n", met);
        std::printf("   %li were not described here.\n", met - LISTED_ARRAYS);
    } else {
        std::printf(" There are %li arrays.\n", met);
    }
}

void save(FILE** source, name** pending, const char* given, int letter, int* asked) {
    *asked = 0;
    const bool direct = *pending == nullptr;
    // &s with an output file open: the save text goes into it.
    if (outpuf && letter != 'S') {
        write_save_text(outpuf);
        return;
    }
    std::string file = given;
    if (file == " ") {
        tokenrec statement_end;
        scanner(source, &statement_end, pending);
        *asked = 1;
        std::printf("Enter name of output file: \n");
        do_prompts();
        file = ask_file_name();
        token = statement_end;
        if (file == "@") {
            std::printf("*** Save cancelled\n");
            return;
        }
    }
    // At a nested level the error returns: nothing may be opened then, least
    // of all the file being read.
    if (file.empty()) {
        error(248, token.name);
        return;
    }
    if (file == input_file_name || input_file_in_use(file.c_str())) {
        error(149, token.name);
        return;
    }

    if (file == "@") {
        close_output(direct);
        return;
    }
    close_output(false);
    outpuf = std::fopen(file.c_str(), "w");
    if (!outpuf) {
        // No output file: nothing is written to a stream that is not there.
        output_file_name[0] = 0;
        error(374, token.name);
        return;
    }
    std::snprintf(output_file_name, sizeof output_file_name, "%s", file.c_str());
}
