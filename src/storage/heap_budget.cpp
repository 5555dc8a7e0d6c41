// The heap's requests go through here so that the memory amount of the
// start-up file bounds each of them: a request larger than what is left of
// that budget fails as a request the system cannot meet does, before it is
// made (the statement loop then abandons the statement with the warning).
// Without a budget every request goes straight to the heap.
#include <cstdlib>
#include <new>

#include "storage/stash.h"
#include "storage/workblocks.h"

namespace {

// Smaller requests are never weighed: the check stays off the common path,
// and no budget is that close to its end that a megabyte decides it.
constexpr std::size_t WEIGHED_FROM = std::size_t{1} << 20;

void* take(std::size_t bytes) {
    if (bytes >= WEIGHED_FROM && totalavailablememory > 0 && bytes > memavail()) throw std::bad_alloc();
    if (bytes == 0) bytes = 1;
    for (;;) {
        if (void* p = std::malloc(bytes)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}

}  // namespace

void* operator new(std::size_t bytes) { return take(bytes); }
void* operator new[](std::size_t bytes) { return take(bytes); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
