#include "support/quoly_ops.h"

#include "quoly/quoly.h"

void three_address(Op op, quoly* a, quoly* b, quoly** r) {
    switch (op) {
    case ADD: quoly_add(a, b, r); break;
    case SUB: quoly_sub(a, b, r); break;
    case MUL: quoly_mult(a, b, r); break;
    case DIV: quoly_quot(a, b, r, 0); break;
    }
}
