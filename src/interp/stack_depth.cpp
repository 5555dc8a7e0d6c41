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
// or some 100,000 brackets. An error unwinds the stack from there by an
// exception; beyond 64 MB the address sanitizer no longer follows such a
// jump.
constexpr uintptr_t STACK_BUDGET = uintptr_t{56} << 20;

// The lowest address the stack of this thread may reach, less the reserve.
uintptr_t stack_floor() {
    static thread_local uintptr_t floor = 0;
    static thread_local bool known = false;
    if (!known) {
        known = true;
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* addr = nullptr;
            size_t size = 0;
            if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr && size) {
                const uintptr_t low = reinterpret_cast<uintptr_t>(addr);
                const uintptr_t reserve = size / 4 < STACK_RESERVE_MAX ? size / 4 : STACK_RESERVE_MAX;
                floor = low + reserve;
                if (size > STACK_BUDGET && low + size - STACK_BUDGET > floor) floor = low + size - STACK_BUDGET;
            }
            pthread_attr_destroy(&attr);
        }
    }
    return floor;
}

}  // namespace

bool stack_nearly_full() {
    char here;
    const uintptr_t floor = stack_floor();
    return floor && reinterpret_cast<uintptr_t>(&here) < floor;
}

bool nesting_refused(const char* text) {
    if (!stack_nearly_full()) return false;
    error(DEEP_NESTING_ERROR, text);
    return true;
}
