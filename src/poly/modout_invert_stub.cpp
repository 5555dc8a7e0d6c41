// Inverses of field elements belong to the extension-field inverses; until
// they exist every field-element inverse reports that and unwinds.
#include "poly/modout.h"

#include "toplevel/errors.h"

void poly_mod_invert(polynode*, quoly**, pt*) {
    tarvex_error("poly_mod_invert is not available yet.", 1);
}
