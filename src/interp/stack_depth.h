// How deep input may drive the recursive readers and calls: past a fixed
// share of the thread's stack they refuse with a numbered error, which
// unwinds (or opens a level) with room left for it.
#pragma once

// The stack is used up to the budget of nested calls (readers and
// statements may go a little deeper); the error routine and a command level
// still fit below.
bool stack_nearly_full();

// The error for calls nested too deeply.
inline constexpr int DEEP_RECURSION_ERROR = 216;
// The error for brackets, operators or statements nested too deeply.
inline constexpr int DEEP_NESTING_ERROR = 379;

// Raises DEEP_NESTING_ERROR with `text` when the stack is nearly full;
// true when it did (the caller then reads nothing further). Kept out of
// line, and cheap when the stack has room.
bool nesting_refused(const char* text);
