#include "toplevel/call_history.h"

#include <cstdio>
#include <cstring>

#include "toplevel/errors.h"

call_record* lastf = nullptr;
void (*unbind_call)(call_record* call) = nullptr;

namespace {

call_record ring[CALL_RING];
bool linked = false;

void link_ring() {
    for (int32_t i = 0; i < CALL_RING; i++) {
        ring[i].next = &ring[(i + 1) % CALL_RING];
        ring[i].last = &ring[(i + CALL_RING - 1) % CALL_RING];
    }
    linked = true;
}

}  // namespace

void reset_call_history() {
    link_ring();
    lastf = nullptr;
    statcount = 0;
}

void note_call(const char* name, void* frame) {
    if (!linked) link_ring();
    lastf = lastf ? lastf->next : &ring[0];
    std::strncpy(lastf->name, name, TOKEN_TEXT - 1);
    lastf->name[TOKEN_TEXT - 1] = 0;
    lastf->frame = frame;
    statcount++;
}

void end_call() {
    // After an error unwound the calls (statcount 0) the ring is already back.
    if (statcount <= 0) return;
    statcount--;
    if (lastf) lastf = lastf->last;
}

void print_call_history(bool unwind) {
    if (statcount > 0) std::printf("*** The most recent function evaluations were:\n");
    std::printf(" ");
    const int32_t shown = statcount < CALL_RING ? statcount : CALL_RING;
    call_record* r = lastf;
    const char* run = nullptr;
    int32_t in_run = 0, printed = 0;
    auto close_run = [&] {
        if (in_run > 10) std::printf(" ... %d more with this name. \n", in_run - 10);
    };
    for (int32_t k = 0; k < shown && r; k++, r = r->last) {
        if (!run || std::strcmp(run, r->name) != 0) {
            close_run();
            run = r->name;
            in_run = 0;
        }
        if (++in_run <= 10) {
            std::printf("%s ", r->name);
            if (++printed % 20 == 0) std::printf("\n ");
        }
        if (unwind && unbind_call) unbind_call(r);
    }
    close_run();
    if (unwind) {
        lastf = r;
        statcount = 0;
    }
}
