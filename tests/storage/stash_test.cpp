// The stash allocator: slug sizes, carving order, the ring of stashes, block
// reuse after a stash is closed, and the word allocator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "storage/stash.h"
#include "toplevel/errors.h"

namespace {

void* link_of(void* p) {
    void* l;
    std::memcpy(&l, p, sizeof l);
    return l;
}

char* slug_at(void* block, int32_t size, int32_t index) {
    return static_cast<char*>(block) + STASH_BLOCK_HEADER + static_cast<int64_t>(index) * size;
}

bool in_ring(const stash* s) {
    for (const stash* p = primal_stash.next; p != &primal_stash; p = p->next)
        if (p == s) return true;
    return false;
}

TEST(Stash, SlugSizeIsRoundedUpToWholeWords) {
    const struct { int32_t asked, got; } cases[] = {{10, 12}, {0, 4}, {1, 4}, {4, 4}, {13, 16}, {16, 16}};
    for (auto c : cases) {
        stash* s = open_stash(c.asked, "rounding");
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->slug_size, c.got) << "open_stash(" << c.asked << ")";
        EXPECT_EQ(s->free, nullptr);
        EXPECT_EQ(s->blocks, nullptr);
        EXPECT_EQ(s->block_count, 0);
        EXPECT_EQ(s->slug_count, 0);
        EXPECT_EQ(s->slugs_used, 0);
        endof_stash(s);
    }
}

TEST(Stash, NewStashJoinsTheRingAtItsTail) {
    static const char name[] = "ring member";
    stash* old_tail = primal_stash.prev;
    stash* s = open_stash(8, name);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->name, name) << "the name is kept by pointer, not copied";
    EXPECT_EQ(s->next, &primal_stash);
    EXPECT_EQ(s->prev, old_tail);
    EXPECT_EQ(old_tail->next, s);
    EXPECT_EQ(primal_stash.prev, s);

    endof_stash(s);
    EXPECT_FALSE(in_ring(s));
    EXPECT_EQ(primal_stash.prev, old_tail);
    EXPECT_EQ(old_tail->next, &primal_stash);
}

TEST(Stash, SystemStashesAreOpenInStartUpOrder) {
    // The environment opened them first, so they lead the ring.
    stash* p = primal_stash.next;
    const stash* expect[] = {polystash, quolystash, numstash, imagstash, colmstash};
    for (const stash* s : expect) {
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(p, s) << s->name;
        p = p->next;
    }
    EXPECT_STREQ(numstash->name, "stash of numnodes");
    EXPECT_STREQ(imagstash->name, "stash of numbers");
}

TEST(Stash, FirstSlugIsTheHighestOfTheFirstBlock) {
    stash* s = open_stash(16, "carving");
    ASSERT_NE(s, nullptr);
    char* first = static_cast<char*>(get_slug(s));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(s->block_count, 1);
    EXPECT_EQ(s->slug_count, 32768);
    EXPECT_EQ(s->slugs_used, 1);
    void* block = s->blocks;
    EXPECT_EQ(first, slug_at(block, 16, 32767));
    EXPECT_EQ(static_cast<char*>(get_slug(s)), first - 16);

    // The lowest slug comes last; the one after needs a second block.
    char* last = nullptr;
    for (int i = 2; i < 32768; i++) last = static_cast<char*>(get_slug(s));
    EXPECT_EQ(last, slug_at(block, 16, 0));
    EXPECT_EQ(s->free, nullptr);
    EXPECT_EQ(s->block_count, 1);
    char* next = static_cast<char*>(get_slug(s));
    EXPECT_EQ(s->block_count, 2);
    EXPECT_EQ(s->slug_count, 65536);
    EXPECT_EQ(s->slugs_used, 32769);
    EXPECT_NE(s->blocks, block);
    EXPECT_EQ(link_of(s->blocks), block) << "new blocks go in front of the stash's chain";
    EXPECT_EQ(next, slug_at(s->blocks, 16, 32767));
    endof_stash(s);
}

TEST(Stash, SlugCountsForTheSizesInUse) {
    const struct { int32_t size, n; } cases[] = {{20, 26214}, {8, 65536}, {12, 43690}, {36, 14563}};
    for (auto c : cases) {
        stash* s = open_stash(c.size, "sizes");
        ASSERT_NE(get_slug(s), nullptr);
        EXPECT_EQ(s->slug_count, c.n) << "slug size " << c.size;
        EXPECT_EQ(static_cast<char*>(s->free), slug_at(s->blocks, c.size, c.n - 2));
        endof_stash(s);
    }
}

TEST(Stash, GetSlugOfNullReturnsNullSilently) {
    ::testing::internal::CaptureStdout();
    void* p = get_slug(nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(out, "");
    EXPECT_EQ(get_block(nullptr), nullptr);
}

TEST(Stash, FreeSlugPushesOnTheFront) {
    stash* s = open_stash(16, "free slug");
    void* a = get_slug(s);
    void* b = get_slug(s);
    free_slug(s, a);
    EXPECT_EQ(s->free, a);
    EXPECT_EQ(s->slugs_used, 1);
    EXPECT_EQ(get_slug(s), a);
    EXPECT_NE(get_slug(s), b);
    endof_stash(s);
}

TEST(Stash, ClosedStashGivesItsBlocksAndRecordToTheNextOpener) {
    stash* s = open_stash(16, "closing");
    ASSERT_NE(get_slug(s), nullptr);
    void* block = s->blocks;
    int32_t primal_used = primal_stash.slugs_used;

    endof_stash(s);
    EXPECT_EQ(extra_blocks, block);
    EXPECT_EQ(primal_stash.free, static_cast<void*>(s));
    EXPECT_EQ(primal_stash.slugs_used, primal_used - 1);
    EXPECT_FALSE(in_ring(s));

    stash* t = open_stash(24, "reopened");
    EXPECT_EQ(t, s) << "the closed record is the next slug of the primal stash";
    ASSERT_NE(get_slug(t), nullptr);
    EXPECT_EQ(t->blocks, block) << "the closed stash's block is taken before any other";
    EXPECT_EQ(static_cast<char*>(t->free), slug_at(block, 24, 524288 / 24 - 2));
    endof_stash(t);
}

TEST(Stash, ClosingPutsTheWholeBlockChainInFrontOfTheSpares) {
    stash* s = open_stash(4096, "two blocks");
    for (int i = 0; i < 129; i++) ASSERT_NE(get_slug(s), nullptr);
    ASSERT_EQ(s->block_count, 2);
    ASSERT_EQ(more_mem(), 1);   // an old spare for the chain to link to
    void* newer = s->blocks;
    void* older = link_of(newer);
    void* spares = extra_blocks;
    ASSERT_NE(spares, nullptr);
    endof_stash(s);
    EXPECT_EQ(extra_blocks, newer);
    EXPECT_EQ(link_of(newer), older);
    EXPECT_EQ(link_of(older), spares);
}

TEST(Stash, GetBlockDropsTheOldFreeList) {
    stash* s = open_stash(16, "get block");
    ASSERT_NE(get_slug(s), nullptr);
    void* first_block = s->blocks;
    ASSERT_EQ(get_block(s), s);
    EXPECT_EQ(s->block_count, 2);
    EXPECT_EQ(s->slug_count, 65536);
    EXPECT_EQ(s->slugs_used, 1);
    EXPECT_NE(s->blocks, first_block);
    EXPECT_EQ(static_cast<char*>(s->free), slug_at(s->blocks, 16, 32767));
    // The fresh block's chain ends at its own lowest slug, not in the old block.
    char* p = nullptr;
    for (int i = 0; i < 32768; i++) p = static_cast<char*>(get_slug(s));
    EXPECT_EQ(p, slug_at(s->blocks, 16, 0));
    EXPECT_EQ(s->free, nullptr);
    endof_stash(s);
}

TEST(Stash, MoreMemPushesOneSpareBlock) {
    void* old = extra_blocks;
    ASSERT_EQ(more_mem(), 1);
    EXPECT_NE(extra_blocks, old);
    EXPECT_EQ(link_of(extra_blocks), old);
}

TEST(Stash, StatisticsLines) {
    stash* s = open_stash(16, "stats");
    ASSERT_NE(get_slug(s), nullptr);
    ::testing::internal::CaptureStdout();
    stash_stats();
    print_stash_stats(s);
    print_stash_stats(nullptr);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "STASH NAME: number of blocks, number of slugs, slugs_used, slug_size\n"
              "stats: \t1, \t32768, \t1, \t16\n");
    endof_stash(s);
}

TEST(Stash, GetSmallAbandonsTheChunkForALargerRequest) {
    constexpr int32_t chunk = 131072;
    get_small(1);
    get_small(chunk);                 // cannot fit after the word above: a fresh chunk, now full
    int32_t* a = get_small(1);        // another fresh chunk
    int32_t* b = get_small(chunk - 2);
    EXPECT_EQ(b, a + 1);
    int32_t* c = get_small(2);        // one word is left: too few, so a new chunk
    EXPECT_NE(c, b + (chunk - 2));
    int32_t* d = get_small(1);
    EXPECT_EQ(d, c + 2) << "the abandoned word is never handed out";
    c[0] = c[1] = d[0] = 7;           // the words are real memory
}

TEST(Stash, GetSmallRefusesMoreThanAChunk) {
    ::testing::internal::CaptureStdout();
    EXPECT_THROW(get_small(131073), TarvexUnwind);
    ::testing::internal::GetCapturedStdout();
}

}  // namespace
