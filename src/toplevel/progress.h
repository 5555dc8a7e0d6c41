// A phase of the verbose progress trace (switches V and W): opened with its
// label and count, stepped, and closed on every exit, an unwinding error
// included.
#pragma once
#include "toplevel/errors.h"

struct Progress {
    bool on;
    long count;
    Progress(const char* label, long n) : on(verbose && windy), count(n) {
        if (!on) return;
        dumpitt_level++;
        dumpitt(label, n, 1, 1, 0);
    }
    void step(long n) const {
        if (on) dumpitt(" ", n, 0, 0, 0);
    }
    ~Progress() {
        if (on) decr_dumpitt(count, 0, 1);
    }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
};
