// Slugs are handed out as they lie in the block: nothing is cleared. Free
// slugs link through their first bytes; the link is read and written with
// memcpy because slug sizes are multiples of 4, not of the pointer size.
#include "storage/stash.h"
#include "storage/records.h"
#include "toplevel/errors.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

inline void* link_of(void* p) {
    void* l;
    std::memcpy(&l, p, sizeof l);
    return l;
}
inline void set_link(void* p, void* l) { std::memcpy(p, &l, sizeof l); }

constexpr int32_t round_slug(int32_t n) {
    if (n < 4) return 4;
    return (n + 3) & ~3;
}

// Takes a block (from extra_blocks, else the heap), carves it into slugs
// and makes them the stash's free list. 0 when the heap has none.
int take_block(stash* s) {
    if (!extra_blocks && !more_mem()) return 0;
    char* block = static_cast<char*>(extra_blocks);
    extra_blocks = link_of(block);
    int32_t n = STASH_BLOCK_PAYLOAD / s->slug_size;
    void* prev = nullptr;
    char* slug = block + STASH_BLOCK_HEADER;
    for (int32_t i = 0; i < n; i++, slug += s->slug_size) {
        set_link(slug, prev);
        prev = slug;
    }
    s->free = prev;
    set_link(block, s->blocks);
    s->blocks = block;
    s->block_count++;
    s->slug_count += n;
    return 1;
}

}  // namespace

stash primal_stash = {nullptr, nullptr, &primal_stash, &primal_stash, "storage allocator",
                      round_slug(static_cast<int32_t>(sizeof(stash))), 0, 0, 0};
void* extra_blocks = nullptr;

int32_t initial_memory = 0;
int32_t virtual_cut = 0;
int64_t totalavailablememory = 0;

stash* polystash = nullptr;
stash* quolystash = nullptr;
stash* numstash = nullptr;
stash* imagstash = nullptr;
stash* colmstash = nullptr;

int more_mem() {
    void* block = std::malloc(STASH_BLOCK_BYTES);
    if (!block) return 0;
    set_link(block, extra_blocks);
    extra_blocks = block;
    return 1;
}

void* get_slug(stash* s) {
    if (!s) return nullptr;
    if (!s->free && !take_block(s)) {
        std::printf("out of memory while trying to accesss stash %s\n", s->name);
        stash_stats();
        return nullptr;
    }
    void* slug = s->free;
    s->free = link_of(slug);
    s->slugs_used++;
    return slug;
}

void free_slug(stash* s, void* slug) {
    set_link(slug, s->free);
    s->free = slug;
    s->slugs_used--;
}

stash* get_block(stash* s) {
    if (!s) return nullptr;
    s->free = nullptr;
    return take_block(s) ? s : nullptr;
}

stash* open_stash(int32_t slug_size, const char* name) {
    auto* s = static_cast<stash*>(get_slug(&primal_stash));
    if (!s) return nullptr;
    s->free = nullptr;
    s->blocks = nullptr;
    s->name = name;
    s->slug_size = round_slug(slug_size);
    s->block_count = s->slug_count = s->slugs_used = 0;
    s->next = &primal_stash;
    s->prev = primal_stash.prev;
    primal_stash.prev->next = s;
    primal_stash.prev = s;
    return s;
}

void endof_stash(stash* s) {
    if (s->blocks) {
        void* last = s->blocks;
        while (link_of(last)) last = link_of(last);
        set_link(last, extra_blocks);
        extra_blocks = s->blocks;
    }
    s->next->prev = s->prev;
    s->prev->next = s->next;
    free_slug(&primal_stash, s);
}

int32_t* get_small(int32_t n) {
    static int32_t numleft = 0;
    static int32_t* nextloc = nullptr;
    constexpr int32_t chunk_words = 131072;
    if (n > chunk_words || n < 0) {
        tarvex_error("get_small: request larger than a chunk.", 1);
        return nullptr;
    }
    // Chunks are never freed; each keeps a link to the previous one so that
    // all of them stay reachable.
    static void* chunks = nullptr;
    if (numleft < n) {
        void* chunk = std::malloc(sizeof(void*) + chunk_words * sizeof(int32_t));
        if (!chunk) {
            numleft = 0;
            error(0, "");
            abandon_statement();
        }
        set_link(chunk, chunks);
        chunks = chunk;
        nextloc = reinterpret_cast<int32_t*>(static_cast<char*>(chunk) + sizeof(void*));
        numleft = chunk_words;
    }
    int32_t* r = nextloc;
    nextloc += n;
    numleft -= n;
    return r;
}

void stash_stats() {
    std::printf("STASH NAME: number of blocks, number of slugs, slugs_used, slug_size\n");
    std::fflush(stdout);
}

void print_stash_stats(stash* s) {
    if (!s) return;
    std::printf("%s: \t%d, \t%d, \t%d, \t%d\n", s->name, s->block_count, s->slug_count,
                s->slugs_used, s->slug_size);
}

void open_system_stashes() {
    if (polystash) return;
    polystash = open_stash(sizeof(polynode), "stash of polynodes");
    quolystash = open_stash(sizeof(quoly), "stash of quolynodes");
    numstash = open_stash(sizeof(numnode), "stash of numnodes");
    imagstash = open_stash(sizeof(imag), "stash of numbers");
    colmstash = open_stash(sizeof(colm), "stash of colms");
}
