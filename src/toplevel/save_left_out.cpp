// Values a conversion list left out keep their rational form while the
// arithmetic is modular. A save made then writes them in rational form
// before the ring-change line, which it gives an empty conversion list:
// read back they stay unconverted, and the way back to rational mode finds
// them as the original session does. Starred variables that still hold the
// copy they were given are written the same way, with the values they will
// come back as, and the line stars them again.
#include <cstdio>
#include <string>

#include "interp/scalars.h"
#include "matrix/array_store.h"
#include "numbers/residue.h"
#include "numbers/ring.h"
#include "storage/records.h"
#include "toplevel/ring_change.h"
#include "toplevel/save_file.h"

bool any_left_out() {
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next)
            if (left_out_value(v->value) || starred_original(v)) return true;
    for (array* head : arr_store)
        for (array* a = head; a; a = a->link)
            if (cell_sides(a).left_out) return true;
    return false;
}

void left_out_section(FILE* out) {
    int saved_modular = 0;
    check_modular(&saved_modular);
    LintOff lint_off;
    std::fprintf(out, "\n;;** values the conversion list left out:\n");
    dump_part(out, 0, 0, 1, SavePart::left_out);
    FILE* stream = out;
    for (array* a : save_order_arrays())
        if (cell_sides(a).left_out) do_array_part(&stream, a, SavePart::left_out);
    std::fprintf(out, "\n");
    restore_modular(saved_modular);
}

std::string starred_list() {
    std::string list;
    for (var* head : sca_store)
        for (var* v = head; v; v = v->next)
            if (starred_original(v)) list += (list.empty() ? "*" : ", *") + std::string(v->name);
    for (array* a : save_order_arrays())
        if (a->stamp > 0 && !a->sparse && !starred_cells(a).empty())
            list += (list.empty() ? "*[" : ", *[") + std::string(a->name) + "]";
    return list;
}
