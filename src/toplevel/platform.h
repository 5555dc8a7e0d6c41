// The few services the top level takes from the operating system, kept in
// one place: the clocks (replaceable in tests), the interrupt flag, a
// thread with a large stack, and the stack limit.
#pragma once
#include <cstdint>
#include <functional>

// Wall-clock seconds and process CPU microseconds.
struct time_pair {
    int64_t wall;   // seconds
    int64_t cpu;    // microseconds
};
time_pair now_pair();

// Test hook: replaces the two clocks (null restores the system's).
void set_clocks(int64_t (*wall_fn)(), int64_t (*cpu_fn)());

// Set by the SIGINT handler; served where the system can safely stop.
extern volatile int interrupt_pending;
void install_interrupt_handler();

// Raises the soft stack limit to at least `bytes`; prints the failure code
// on standard error as start-up does, and goes on.
void raise_stack_limit(uint64_t bytes);

// Runs fn on a thread whose stack holds `bytes`, waits for it and returns
// its result; deep recursion in gcds and user programs needs the room.
int run_with_stack(uint64_t bytes, const std::function<int()>& fn);
