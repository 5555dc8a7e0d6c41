// A phase of the verbose progress trace (switches V and W): opened with its
// label and count, stepped, and closed on every exit, an unwinding error
// included.
#pragma once
#include <utility>

#include "toplevel/errors.h"
#include "toplevel/set_aside.h"

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

// The progress trace off for an inner computation whose lines are no part
// of the caller's (unless `keep`); a level opened by an interrupt inside
// traces (and saves the switch) as the user set it.
struct ProgressOff : SetAside {
    int kept = verbose;
    explicit ProgressOff(bool keep = false) {
        if (!keep) verbose = 0;
    }
    ~ProgressOff() { verbose = kept; }
    void put_back() override { std::swap(verbose, kept); }
};
