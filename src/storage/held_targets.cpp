// The holds of assignments whose right side is being read, innermost first.
#include "storage/held_targets.h"

#include <functional>

HeldTarget* innermost_held_target = nullptr;

namespace {

bool inside(const void* p, const void* begin, const void* end) {
    const std::less<const void*> before;
    return !before(p, begin) && before(p, end);
}

}  // namespace

// A sparse element is found again from its row once the right side is
// read (the element itself may come and go meanwhile): its row is held.
HeldTarget::HeldTarget(quoly** slot, colm** row)
    : place_(row ? static_cast<const void*>(row) : static_cast<const void*>(slot)), outer_(innermost_held_target) {
    innermost_held_target = this;
}

HeldTarget::~HeldTarget() { innermost_held_target = outer_; }

void release_held_in(const void* begin, const void* end) {
    for (HeldTarget* h = innermost_held_target; h; h = h->outer_)
        if (h->place_ && inside(h->place_, begin, end)) h->lost_ = true;
}

bool held_in(const void* begin, const void* end) {
    for (const HeldTarget* h = innermost_held_target; h; h = h->outer_)
        if (h->place_ && !h->lost_ && inside(h->place_, begin, end)) return true;
    return false;
}
