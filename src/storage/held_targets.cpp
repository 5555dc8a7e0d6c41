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

HeldTarget::HeldTarget(quoly** slot, colm** row) : slot_(slot), row_(row), outer_(innermost_held_target) {
    innermost_held_target = this;
}

HeldTarget::~HeldTarget() { innermost_held_target = outer_; }

// A sparse element's entry may come and go while its row stays: only the
// row going is the element's loss.
void release_held_in(const void* begin, const void* end) {
    for (HeldTarget* h = innermost_held_target; h; h = h->outer_) {
        const bool slot = h->slot_ && inside(h->slot_, begin, end);
        if (h->row_) {
            h->entry_gone_ |= slot;
            h->lost_ |= inside(h->row_, begin, end);
        } else {
            h->lost_ |= slot;
        }
    }
}

void hide_held_in(const void* begin, const void* end, const array* hidden) {
    for (HeldTarget* h = innermost_held_target; h; h = h->outer_) {
        const void* place = h->row_ ? static_cast<const void*>(h->row_) : static_cast<const void*>(h->slot_);
        if (place && inside(place, begin, end)) h->hidden_ = hidden;
    }
}

bool held_in(const void* begin, const void* end) {
    for (const HeldTarget* h = innermost_held_target; h; h = h->outer_)
        if (h->slot_ && !h->row_ && !h->lost_ && inside(h->slot_, begin, end)) return true;
    return false;
}
