// A run of terms added to (or subtracted from) one running sum, as a long
// typed sum "a + b - c + ..." is read. Adding each polynomial term to the
// whole sum at once would walk or copy the sum for every term: quadratic in
// the number of terms. Instead the terms are merged among themselves in a
// balanced way (a stack of partial sums whose sizes at least double going
// down, so that every term takes part in O(log n) merges), and the result
// meets the running sum once, when the run ends.
//
// Only sums whose order cannot matter are gathered: terms that are
// polynomials without denominator or plain numbers, added to a number, a
// polynomial, or (where the coefficients form a field, or are the
// integers) a fraction. Every such addition succeeds, and the value does
// not depend on the order of the additions, so the value, and where any
// error is reported, stay those of adding term by term: any other term ends
// the run first and is then added as before.
#pragma once
#include <cstdint>
#include <vector>

#include "storage/records.h"

class SumRun {
public:
    SumRun() = default;
    SumRun(const SumRun&) = delete;
    SumRun& operator=(const SumRun&) = delete;
    ~SumRun();

    // Takes *term over (or, when term is null, copies *ref) into the run
    // when the sum *acc with the run so far and the term qualify; *term
    // becomes null then. False: nothing was taken; the caller must end the
    // run (finish) before adding the term itself.
    bool take(quoly* acc, quoly** term, quoly* const* ref, bool add);
    // *acc := *acc + the run; the run is empty afterwards.
    void finish(quoly** acc);

private:
    struct Part {
        polynode* p;
        int64_t size;
    };
    // Partial sums of the added terms and of the subtracted ones.
    std::vector<Part> plus_, minus_;

    // The top two partial sums become one.
    static void merge_top(std::vector<Part>& stack);
    static void push(std::vector<Part>& stack, polynode* p);
    static polynode* collapse(std::vector<Part>& stack);
};
