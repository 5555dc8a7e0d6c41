// A cap on the field inversion's work, for the roads that give way to the
// images modulo word primes past it (multimodular_inverse.h).
#pragma once
#include <algorithm>
#include <cstdint>

#include "gcd/nonfield_ring.h"
#include "poly/modout.h"

// The field inversion's Euclid's steps held to a cap of work, counted as a
// budgeted gcd counts them (that gcd's meter goes on being told of them).
struct CappedSteps {
    struct Reached {};
    static inline int running = 0;   // capped runs alive
    static inline int64_t left = 0;
    static inline void (*outer)(const polynode*, const polynode*) = nullptr;
    void (*before)(const polynode*, const polynode*) = euclid_step_meter;
    void (*before_outer)(const polynode*, const polynode*) = outer;
    int64_t before_left = left;
    explicit CappedSteps(int64_t cap) {
        running++;
        outer = before;
        left = cap;
        euclid_step_meter = [](const polynode* a, const polynode* b) {
            if (outer) outer(a, b);
            const int64_t x = std::max<int64_t>(1, nonfield::work_size(a, left));
            left -= x * nonfield::work_size(b, left / x + 1);
            if (left < 0) throw Reached{};
        };
    }
    ~CappedSteps() {
        running--;
        euclid_step_meter = before;
        outer = before_outer;
        left = before_left;
    }
    CappedSteps(const CappedSteps&) = delete;
    CappedSteps& operator=(const CappedSteps&) = delete;
};
