#include "toplevel/held_line.h"

#include <utility>
#include <vector>

#include "toplevel/errors.h"

namespace {

// One entry per stream that has characters held back; few at any time.
std::vector<HeldLine> held;
// The stream whose last character came from its held ones, if any.
FILE* last_from_held = nullptr;

HeldLine* find(FILE* f) {
    for (HeldLine& h : held)
        if (h.stream == f) return &h;
    return nullptr;
}

}  // namespace

HeldLine take_rest_of_line(FILE* f) {
    HeldLine rest{f, {}};
    int c;
    while ((c = read_input_char(f)) != EOF && c != '\n') rest.text.push_back(static_cast<char>(c));
    return rest;
}

void give_back(HeldLine back) {
    if (!back.stream || back.text.empty()) return;
    if (HeldLine* h = find(back.stream)) {
        h->text.insert(0, back.text);
        return;
    }
    held.push_back(std::move(back));
}

int next_held_char(FILE* f) {
    HeldLine* h = find(f);
    if (!h) {
        if (last_from_held == f) last_from_held = nullptr;
        return -1;
    }
    const int c = static_cast<unsigned char>(h->text.front());
    h->text.erase(0, 1);
    if (h->text.empty()) held.erase(held.begin() + (h - held.data()));
    last_from_held = f;
    return c;
}

void unread_input_char(int c, FILE* f) {
    if (c == EOF) return;
    if (last_from_held == f) {
        last_from_held = nullptr;
        give_back({f, std::string(1, static_cast<char>(c))});
        return;
    }
    std::ungetc(c, f);
}
