// A relation-free copy of a variable record: same name, level, degree and
// inner records, no relation, so that a division by the relation itself (or
// modulo it) does not reduce while it runs. Given back at scope exit.
#pragma once
#include <cstring>

#include "poly/polyvars.h"
#include "storage/other_records.h"
#include "storage/records.h"

struct BareRecord {
    pt* rec = nullptr;
    explicit BareRecord(const pt* of) {
        newpt(&rec);
        std::memcpy(rec->name, of->name, sizeof rec->name);
        rec->hash = of->hash;
        rec->cutoff = of->cutoff;
        rec->modout_degree = of->modout_degree;
        rec->level = of->level;
        rec->next = of->next;
    }
    ~BareRecord() {
        rec->next = nullptr;
        free_pt(&rec);
    }
    BareRecord(const BareRecord&) = delete;
    BareRecord& operator=(const BareRecord&) = delete;
};
