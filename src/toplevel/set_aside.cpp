#include "toplevel/set_aside.h"

#include <ranges>

#include "interp/functions.h"

namespace {
SetAside* innermost = nullptr;
}  // namespace

SetAside::SetAside() : outer_(innermost) { innermost = this; }

SetAside::~SetAside() {
    SetAside** link = &innermost;
    while (*link && *link != this) link = &(*link)->outer_;
    if (*link) *link = outer_;
}

SessionForLevel::SessionForLevel() : calls_below_(calls_below_level) {
    calls_below_level = running_call_count();
    suspension_.lift();
    for (SetAside* s = innermost; s && !s->put_back_; s = s->outer_) {
        s->put_back();
        s->put_back_ = true;
        lifted_.push_back(s);
    }
}

void SessionForLevel::set_aside_again() {
    for (SetAside* s : lifted_ | std::views::reverse) {
        s->set_aside_again();
        s->put_back_ = false;
    }
    lifted_.clear();
}

void SessionForLevel::level_left() {
    left_ = true;
    set_aside_again();
    suspension_.restore();
}

SessionForLevel::~SessionForLevel() {
    calls_below_level = calls_below_;
    if (left_) return;
    // Unwinding: the guards below undo what they set aside from the state
    // they left, as if no level had opened.
    set_aside_again();
    suspension_.drop();
}
