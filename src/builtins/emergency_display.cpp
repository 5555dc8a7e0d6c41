// The emergency displays ZZ3 and ZZ4.
#include "builtins/emergency_display.h"

#include <cstdio>
#include <cstring>

#include "interp/builtin_args.h"
#include "interp/readers.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "storage/assign.h"
#include "storage/other_records.h"
#include "toplevel/display.h"

namespace {

constexpr int32_t SUBSTITUTE_NAMES = 78;
constexpr int32_t ZZ4 = 109;

pt* dodo = nullptr;

// Line suppression off for one display.
struct WholeDisplay {
    int saved = do_line_sup;
    WholeDisplay() { do_line_sup = 0; }
    ~WholeDisplay() { do_line_sup = saved; }
    WholeDisplay(const WholeDisplay&) = delete;
    WholeDisplay& operator=(const WholeDisplay&) = delete;
};

}  // namespace

pt* substitute_names() {
    if (dodo) return dodo;
    // Each made record goes on the front: a2 first made ends up last.
    const char* suffixes[3] = {"2", "1", ""};
    pt* list = nullptr;
    for (const char* suffix : suffixes)
        for (char c = 'a'; c <= 'z'; c++) {
            pt* v = nullptr;
            newpt(&v);
            std::memset(v->name, 0, sizeof v->name);
            v->name[0] = c;
            std::strcpy(v->name + 1, suffix);
            v->hash = 65535;
            v->modout_degree = 0;
            v->next = list;
            list = v;
        }
    int16_t level = 1;
    for (pt* v = list; v; v = v->next) v->level = level++;
    dodo = list;
    return dodo;
}

void builtin_emergency_display(FILE** source, quoly** result, name** pending, int32_t n) {
    // Read in the ring as it is: an expression evaluated with the residue
    // arithmetic switched on over ordinary data could meet any modulus.
    SlotHold arg;
    quoly** value = standard_read(source, pending, &arg.q);
    {
        RingStateGuard ring;
        if (n == ZZ4) {
            std::printf("*** Warning: this will return to a previous modular mode, display, then return to "
                        "rational mode.\n");
            std::printf("***    Any other use will be fatal.\n");
            modularmode = 1;
            lintmode = 1;
        }
        if (number_polys > SUBSTITUTE_NAMES) {
            std::printf("*** Warning: too many variables (> 78). Can't do ZZ3 or ZZ4.\n");
        } else {
            WholeDisplay whole;
            int32_t col = 0;
            quoly_display(&Output, 1, 1, 1, *value, &col, ";", substitute_names(), 0, 1, 0);
        }
        if (n == ZZ4) std::printf("*** Returning to rational mode.\n");
        std::fflush(stdout);
    }
    quoly_set(0, result);
}
