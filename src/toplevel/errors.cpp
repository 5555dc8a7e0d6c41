#include "toplevel/errors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

int verbose = 0;
int windy = 0;
int16_t dumpitt_level = 0;
int16_t dumpitt_length = 0;
int16_t dispcutoff = 76;
int32_t c_cntcount = 0, a_cntcount = 0, d_cntcount = 0, g_cntcount = 0;
int32_t g_cutoff = 30;
int32_t alg_c_count = 0;
int32_t original_depth = 1;
int32_t warn_cnt = 0;
int16_t tripval = 20;

namespace {
long suppressor = 1;   // product of the counts of the open progress phases

// A newline and n blanks, kept inside the display width.
void indent(int n) {
    if (n >= dispcutoff - 3) n = dispcutoff - 12;
    std::putchar('\n');
    for (int i = 0; i < n; i++) std::putchar(' ');
}

int floor_log2(long n) {
    unsigned long u = n < 0 ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
    int b = -1;
    while (u) { u >>= 1; b++; }
    return b;
}
}  // namespace

TarvexUnwind::TarvexUnwind(int c, std::string t)
    : std::runtime_error("tarvex error " + std::to_string(c)), code(c), token(std::move(t)) {}

void reset_statement_state() {
    c_cntcount = a_cntcount = d_cntcount = g_cntcount = 0;
    g_cutoff = 30;
    alg_c_count = 0;
    original_depth = 1;
    warn_cnt = 0;
}

void error(int code, const char* token) {
    if (code == 0) {
        std::printf("*** Panic stop.\n");
    } else if (code < 0) {
        std::printf("*** New command level.\n");
    } else {
        std::printf("*** Inappropriate symbol: %s\n", token ? token : "");
        std::printf("*** Error %d.\n", code);
    }
    std::fflush(stdout);
    reset_statement_state();
    tripval = 20;
    dumpitt_level = 0;
    throw TarvexUnwind(code, token ? token : "");
}

void tarvex_error(const char* message, int fatal) {
    std::printf("*** Tarvex error. %s\n", message);
    std::fflush(stdout);
    if (fatal) error(-1, "");
}

void tarvexerror(const char* message) {
    std::printf("*** Tarvex error. %s\n", message);
    std::fflush(stdout);
}

void warning(int code, const char* text) {
    std::printf("\n *** Warning.\n");
    if (code == 0) {
        std::printf(" *** Loop counter in Content is negative.  Will reset.\n");
        c_cntcount = a_cntcount = d_cntcount = 200001;
        std::fflush(stdout);
        std::printf("\n");
        return;
    }
    if (text) std::printf("%s", text);
    std::fflush(stdout);
}

void dumpitt(const char* label, long count, int newline, int scale, int colon) {
    int level = dumpitt_level;
    if (level < 2) {
        suppressor = 1;
    } else if (scale) {
        suppressor *= count;
        if (suppressor > 1000) return;
    } else if (suppressor > 1000) {
        return;
    }
    if (level > dispcutoff) return;
    if (newline) {
        indent(2 * level);
        dumpitt_length = static_cast<int16_t>(2 * level);
    }
    if (count >= 0) {
        std::printf("%s%li", label, count);
        int len = dumpitt_length;
        if (std::strcmp(label, " ") != 0) {
            std::printf(colon ? ": " : ". ");
            len += 2;
        }
        int digits = count == 0 ? 0 : static_cast<int>(std::floor(0.3 * floor_log2(count) + 0.5));
        len += static_cast<int>(std::strlen(label)) + 1 + digits;
        if (len > dispcutoff + 2) {
            indent(level);
            len = level;
        }
        dumpitt_length = static_cast<int16_t>(len);
    }
    std::fflush(stdout);
}

void decr_dumpitt(long count, int newline, int divide) {
    dumpitt_level--;
    int level = dumpitt_level;
    if (level <= 36 && verbose && newline && suppressor <= 1000) {
        indent(2 * level);
        dumpitt_length = static_cast<int16_t>(2 * level);
    }
    if (divide) {
        long c = count == 0 ? 1 : count;
        suppressor = std::max(1L, suppressor / c);
    }
}
