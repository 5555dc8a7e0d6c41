// The stack budget of the recursive readers, statements and calls.
#include "interp/stack_depth.h"

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "toplevel/errors.h"

namespace {

// Room kept free on the stack for what runs at the limit: the error
// routine, and a command level with its statements.
constexpr uintptr_t STACK_RESERVE_MAX = uintptr_t{64} << 20;
// The most stack that nesting may take: some 60,000 calls of a small body,
// or a few hundred thousand brackets. An error unwinds the stack from there by an
// exception; beyond 64 MB the address sanitizer no longer follows such a
// jump.
constexpr uintptr_t STACK_BUDGET = uintptr_t{56} << 20;

// Readers and statements may go this much deeper than calls: a recursion
// through calls always meets the call limit first, and says so.
constexpr uintptr_t NESTING_EXTRA = uintptr_t{1} << 20;

// The lowest addresses the stack of this thread may reach with calls and
// with nesting; zero when the stack is not known.
struct stack_limits {
    uintptr_t calls = 0;
    uintptr_t nesting = 0;
};

stack_limits find_limits() {
    stack_limits limits;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return limits;
    void* addr = nullptr;
    size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size) {
        const uintptr_t low = reinterpret_cast<uintptr_t>(addr);
        const uintptr_t reserve = size / 4 < STACK_RESERVE_MAX ? size / 4 : STACK_RESERVE_MAX;
        uintptr_t floor = low + reserve;
        if (size > STACK_BUDGET && low + size - STACK_BUDGET > floor) floor = low + size - STACK_BUDGET;
        const uintptr_t extra = NESTING_EXTRA < reserve / 2 ? NESTING_EXTRA : reserve / 2;
        limits.calls = floor;
        limits.nesting = floor - extra;
    }
    pthread_attr_destroy(&attr);
    return limits;
}

const stack_limits& limits() {
    static thread_local const stack_limits known = find_limits();
    return known;
}

bool below(uintptr_t limit) {
    char here;
    return limit && reinterpret_cast<uintptr_t>(&here) < limit;
}

}  // namespace

bool stack_nearly_full() { return below(limits().calls); }

bool nesting_refused(const char* text) {
    if (!below(limits().nesting)) return false;
    error(DEEP_NESTING_ERROR, text);
    return true;
}
