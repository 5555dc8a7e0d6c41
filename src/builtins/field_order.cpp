// The order of the field the factoring code works in: the modulus (256 or
// 65,536 in characteristic 2) raised to the product of the relation degrees
// of the field variables.
#include "builtins/powermod.h"
#include "numbers/numbers.h"
#include "numbers/rational.h"
#include "numbers/ring.h"
#include "poly/polyvars.h"
#include "toplevel/errors.h"

pt* field_record(int32_t level) {
    // Level 0 lies above the outermost variable: no record, the prime field.
    if (level >= 0) {
        pt* v = polynames;
        for (int32_t i = 1; v && i < number_polys + 1 - level; i++) v = v->next;
        return v;
    }
    if (field_depth <= 0) return nullptr;
    return field_record(number_polys + 1 - field_depth);
}

namespace {

int64_t relation_degrees(int32_t level) {
    int64_t d = 1;
    for (pt* v = field_record(level); v; v = v->next)
        if (v->relation) d *= v->modout_degree;
    return d;
}

}  // namespace

void order_of_field(imag* q, int report, int32_t level) {
    if (report && !field_record(level)) tarvex_error(" pt nil in order_of_field.", 1);
    setvalue(modulus, q);
    number_power(q, static_cast<uint32_t>(relation_degrees(level)));
}

int32_t log_order_field(int32_t level) {
    const int32_t k = f256 ? 8 : f2t16 ? 16 : 1;
    return static_cast<int32_t>(k * relation_degrees(level));
}
