#include "ff_setup.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "storage/assign.h"
#include "support/sympy_ref.h"

namespace {

uint64_t lcg_state = 12345;
long fixed_random() {
    lcg_state = lcg_state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<long>((lcg_state >> 33) & 0x7fffffff);
}
int fixed_rand() { return static_cast<int>(fixed_random()); }
long fixed_clock() {
    static long t = 1000;
    t += 7919;
    return t;
}

}  // namespace

FixedRandom::FixedRandom() {
    lcg_state = 12345;
    set_random_sources(fixed_random, fixed_rand, fixed_clock);
}

quoly* poly_quoly(polynode* p) {
    quoly* q = nullptr;
    if (p->numb && !p->next) {
        p_q_assign(p, &q);
        free_poly(&p);
        return q;
    }
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    q->den = nullptr;
    q->pnum = p;
    return q;
}

std::vector<std::string> run_sympy(const std::string& script, const std::vector<std::string>& lines) {
    char dir[] = "/tmp/tarvex_ffXXXXXX";
    std::vector<std::string> out;
    if (!mkdtemp(dir)) return out;
    const std::string py = std::string(dir) + "/ref.py", in = std::string(dir) + "/in.txt";
    std::ofstream(py) << script;
    {
        std::ofstream f(in);
        for (const auto& l : lines) f << l << "\n";
    }
    FILE* p = popen((python_command() + " " + py + " < " + in).c_str(), "r");
    if (!p) return out;
    char buf[1 << 16];
    while (std::fgets(buf, sizeof buf, p)) {
        std::string s(buf);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        out.push_back(s);
    }
    pclose(p);
    std::remove(py.c_str());
    std::remove(in.c_str());
    rmdir(dir);
    return out;
}

std::mt19937_64 test_rng(20261207);
uint64_t test_draw() { return test_rng(); }
