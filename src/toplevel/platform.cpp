#include "toplevel/platform.h"

#include <pthread.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <ctime>

volatile int interrupt_pending = 0;

namespace {

int64_t system_wall() { return static_cast<int64_t>(std::time(nullptr)); }

int64_t system_cpu() {
    return static_cast<int64_t>(std::clock()) * 1000000 / CLOCKS_PER_SEC;
}

int64_t (*wall_clock)() = system_wall;
int64_t (*cpu_clock)() = system_cpu;

// The SIGINT handler: only a flag; the level opens where the interpreter
// can safely stop (serve_interrupt).
extern "C" void interrupt(int) { interrupt_pending = 1; }

struct ThreadCall {
    const std::function<int()>* fn;
    int result;
};

extern "C" void* thread_body(void* arg) {
    // This thread alone takes SIGINT, so that a read it is blocked in
    // breaks off and the interrupt is served here.
    sigset_t only_int;
    sigemptyset(&only_int);
    sigaddset(&only_int, SIGINT);
    pthread_sigmask(SIG_UNBLOCK, &only_int, nullptr);
    auto* call = static_cast<ThreadCall*>(arg);
    call->result = (*call->fn)();
    return nullptr;
}

}  // namespace

time_pair now_pair() { return {wall_clock(), cpu_clock()}; }

void set_clocks(int64_t (*wall_fn)(), int64_t (*cpu_fn)()) {
    wall_clock = wall_fn ? wall_fn : system_wall;
    cpu_clock = cpu_fn ? cpu_fn : system_cpu;
}

void install_interrupt_handler() {
    struct sigaction sa = {};
    sa.sa_handler = interrupt;
    // No SA_RESTART: a read blocked at the prompt must break off.
    sa.sa_flags = 0;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
}

void raise_stack_limit(uint64_t bytes) {
    struct rlimit rl;
    if (getrlimit(RLIMIT_STACK, &rl) != 0) return;
    if (rl.rlim_cur != RLIM_INFINITY && rl.rlim_cur < bytes) {
        rl.rlim_cur = bytes;
        int result = setrlimit(RLIMIT_STACK, &rl);
        if (result != 0) std::fprintf(stderr, "setrlimit returned result = %d\n", result);
    }
}

int run_with_stack(uint64_t bytes, const std::function<int()>& fn) {
    ThreadCall call{&fn, 1};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, bytes);
    pthread_t thread;
    // The waiting thread must not take SIGINT in the worker's place.
    sigset_t only_int, before;
    sigemptyset(&only_int);
    sigaddset(&only_int, SIGINT);
    pthread_sigmask(SIG_BLOCK, &only_int, &before);
    if (pthread_create(&thread, &attr, thread_body, &call) != 0) {
        // No thread to be had: run on the stack we have.
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
        pthread_attr_destroy(&attr);
        return fn();
    }
    pthread_attr_destroy(&attr);
    pthread_join(thread, nullptr);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return call.result;
}
