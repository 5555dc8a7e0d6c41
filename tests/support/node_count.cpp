#include "support/node_count.h"

#include <cstring>
#include <string>
#include <unordered_set>

namespace {

void* slug_link(void* p) {
    void* l;
    std::memcpy(&l, p, sizeof l);
    return l;
}

// Counts a list through next(), failing past `bound` elements.
template <class T, class Next>
::testing::AssertionResult walk(const char* what, T* head, int64_t bound, Next next, int64_t* n) {
    *n = 0;
    for (T* p = head; p; p = next(p)) {
        if (++*n > bound)
            return ::testing::AssertionFailure()
                   << what << " is longer than the " << bound << " records ever carved: a cycle (double free?)";
    }
    return ::testing::AssertionSuccess();
}

int64_t bound_of(const stash* s) { return s ? s->slug_count : 0; }

}  // namespace

::testing::AssertionResult free_list_lengths(RecordTally* out) {
    auto r = walk("numhead", numhead, bound_of(numstash), [](numnode* p) { return p->next; }, &out->digits);
    if (!r) return r;
    r = walk("imhead", imhead, bound_of(imagstash), [](imag* p) { return p->link; }, &out->numbers);
    if (!r) return r;
    r = walk("polygarb", polygarb, bound_of(polystash), [](polynode* p) { return p->next; }, &out->terms);
    if (!r) return r;
    return walk("quolygarb", quolygarb, bound_of(quolystash), [](quoly* p) { return p->link; }, &out->quolys);
}

::testing::AssertionResult carved_counts(RecordTally* out) {
    const stash* stashes[] = {numstash, imagstash, polystash, quolystash};
    int64_t* slots[] = {&out->digits, &out->numbers, &out->terms, &out->quolys};
    for (int i = 0; i < 4; i++) {
        const stash* s = stashes[i];
        if (!s) return ::testing::AssertionFailure() << "the system stashes are not open";
        int64_t spare = 0;
        auto r = walk(s->name, s->free, s->slug_count, slug_link, &spare);
        if (!r) return r;
        *slots[i] = s->slug_count - spare;
        if (*slots[i] != s->slugs_used)
            return ::testing::AssertionFailure()
                   << s->name << ": " << s->slug_count << " slugs carved, " << spare
                   << " still in the stash, but slugs_used is " << s->slugs_used;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult records_in_use(RecordTally* out) {
    RecordTally carved, free;
    auto r = carved_counts(&carved);
    if (!r) return r;
    r = free_list_lengths(&free);
    if (!r) return r;
    out->digits = carved.digits - free.digits;
    out->numbers = carved.numbers - free.numbers;
    out->terms = carved.terms - free.terms;
    out->quolys = carved.quolys - free.quolys;
    return ::testing::AssertionSuccess();
}

RecordLedger::RecordLedger() { ok_ = static_cast<bool>(records_in_use(&before_)); }

::testing::AssertionResult RecordLedger::balanced(const std::vector<const imag*>& live) const {
    if (!ok_) return ::testing::AssertionFailure() << "the snapshot could not be taken";
    RecordTally now;
    auto r = records_in_use(&now);
    if (!r) return r;
    RecordTally want = before_;
    for (const imag* x : live) {
        want.numbers++;
        if (x->count > 0) want.digits += x->count;
    }
    auto line = [](const char* kind, int64_t w, int64_t n) {
        return std::string(kind) + ": expected " + std::to_string(w) + " in use, found " + std::to_string(n) +
               (n > w ? " (leaked " : " (freed too many: ") + std::to_string(n > w ? n - w : w - n) + ")\n";
    };
    std::string msg;
    if (now.digits != want.digits) msg += line("digit nodes", want.digits, now.digits);
    if (now.numbers != want.numbers) msg += line("number records", want.numbers, now.numbers);
    if (now.terms != want.terms) msg += line("term nodes", want.terms, now.terms);
    if (now.quolys != want.quolys) msg += line("quolys", want.quolys, now.quolys);
    if (!msg.empty()) return ::testing::AssertionFailure() << msg;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult not_on_free_lists(std::initializer_list<const imag*> numbers) {
    RecordTally n;
    auto r = free_list_lengths(&n);
    if (!r) return r;
    std::unordered_set<const void*> free;
    for (numnode* p = numhead; p; p = p->next) free.insert(p);
    for (imag* p = imhead; p; p = p->link) free.insert(p);
    int k = 0;
    for (const imag* x : numbers) {
        if (free.count(x)) return ::testing::AssertionFailure() << "number " << k << " is on imhead";
        int32_t i = 0;
        for (const numnode* p = x->head; p && i < x->count; p = p->next, i++)
            if (free.count(p))
                return ::testing::AssertionFailure() << "digit " << i << " of number " << k << " is on numhead";
        k++;
    }
    return ::testing::AssertionSuccess();
}
