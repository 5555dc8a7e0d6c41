// The records a polynomial is made of: for checking that a kept operand
// comes back node for node, and that a result shares no record with it.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "storage/records.h"

// One node reachable from a polynomial, with the fields that identify it.
struct NodeShot {
    const polynode* node;
    const void* coef;
    const polynode* next;
    int32_t exp;
    int32_t numb;
    bool operator==(const NodeShot&) const = default;
};

// Every node of p, outermost level first, each term followed by its
// coefficient's nodes.
std::vector<NodeShot> snapshot_nodes(const polynode* p);

// No term node or number record of r is one of kept's.
::testing::AssertionResult disjoint(const polynode* r, const polynode* kept);

// p is the zero polynomial: one number node holding 0.
bool is_zero_node(const polynode* p);
