#include "det/minor_rows.h"

#include "interp/settings.h"
#include "matrix/sparse.h"
#include "storage/assign.h"

void do_the_row(minor_row_ctx* ctx, int move) {
    const int32_t s = ctx->rows[ctx->position] - addresser + 1;
    while (s > (ctx->frame_number + 1) * SPARSE_FRAME_ROWS) {
        ctx->frame = ctx->frame->next;
        ctx->frame_number++;
    }
    colm* e = ctx->frame->row[(s - 1) % SPARSE_FRAME_ROWS];
    int32_t ci = 0;
    while (e && ci <= ctx->last_column) {
        const int32_t chosen = ctx->columns[ci] - addresser + 1;
        if (chosen < e->col) {
            ci++;
            continue;
        }
        if (chosen > e->col) {
            e = e->next;
            continue;
        }
        colm* c = take_colm();
        c->col = ci + 1;
        c->val = nullptr;
        if (move) {
            c->val = e->val;
            e->val = nullptr;
            quoly_set(1, &e->val);
        } else {
            quoly_assign(e->val, &c->val);
        }
        *ctx->tail = c;
        ctx->tail = &c->next;
        e = e->next;
    }
    *ctx->tail = nullptr;
}
