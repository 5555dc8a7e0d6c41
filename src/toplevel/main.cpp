// The tarvex executable: the whole system runs on a thread with a large
// stack, since gcds and user programs recurse deeply.
#include "toplevel/loop.h"
#include "toplevel/platform.h"

int main(int argc, char** argv) {
    constexpr uint64_t stack_bytes = uint64_t{512} << 20;
    return run_with_stack(stack_bytes, [&] { return tarvex_main(argc, argv); });
}
