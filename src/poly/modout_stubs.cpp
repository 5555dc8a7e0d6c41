// Placeholders for the mod-out reductions (see poly/modout_stubs.h).
#include "poly/modout_stubs.h"

#include "toplevel/errors.h"

void fold_poly(polynode**, polynode**, int32_t, pt*) {
    tarvex_error("fold_poly is not available yet.", 1);
}

void mod_standard(polynode*, polynode*, int32_t, int32_t, polynode**, pt*) {
    tarvex_error("mod_standard is not available yet.", 1);
}

void total_poly_modout(polynode**, pt*) {
    tarvex_error("total_poly_modout is not available yet.", 1);
}

void poly_mod_invert(polynode*, quoly**, pt*) {
    tarvex_error("poly_mod_invert is not available yet.", 1);
}
