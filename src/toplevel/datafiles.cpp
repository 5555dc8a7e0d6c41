// Reading the data directory at start-up. The bulk files (a million
// numbers in all) are read whole and parsed in memory; only chdat stays
// open as a stream, since later calls read on from where start-up stopped.
#include "toplevel/datafiles.h"
#include "toplevel/ring_change.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "interp/scanner.h"
#include "numbers/numbers.h"
#include "numbers/primes.h"
#include "numbers/ring.h"
#include "numbers/tables.h"
#include "storage/stash.h"
#include "toplevel/errors.h"

char erp[ERROR_COUNT + 1][ERROR_TEXT_BYTES];
builtin_name builtin[BUILTIN_SLOTS];
int numbuiltins = 0;
quoly* pol[POL_SIDE * POL_SIDE];
uint32_t size_data_strucs = 0;

namespace {

// A data file read whole, handing out its white-space separated integers.
struct NumberFile {
    std::string text;
    size_t pos = 0;
    bool opened = false;
    bool failed = false;   // a read past the end or of something not a number

    bool open(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        pos = 0;
        failed = false;
        opened = true;
        return true;
    }
    void close() {
        text.clear();
        text.shrink_to_fit();
        opened = false;
    }

    // The next integer, or 0 (and failed set) when there is none.
    long next() {
        const char* s = text.data();
        size_t n = text.size();
        while (pos < n && (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            pos++;
        bool neg = false;
        if (pos < n && (s[pos] == '-' || s[pos] == '+')) neg = s[pos++] == '-';
        if (pos >= n || s[pos] < '0' || s[pos] > '9') {
            failed = true;
            return 0;
        }
        long v = 0;
        while (pos < n && s[pos] >= '0' && s[pos] <= '9') {
            if (v < 1000000000000L) v = v * 10 + (s[pos] - '0');
            pos++;
        }
        return neg ? -v : v;
    }

    // A white-space delimited word of at most `max` characters (longer ones are cut).
    std::string word(size_t max) {
        const char* s = text.data();
        size_t n = text.size();
        while (pos < n && (s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            pos++;
        size_t start = pos;
        while (pos < n && !(s[pos] == ' ' || s[pos] == '\n' || s[pos] == '\r' || s[pos] == '\t'))
            pos++;
        if (start == pos) failed = true;
        return text.substr(start, std::min(max, pos - start));
    }
};

// Files that stay open between subinitialize and initialize.
NumberFile pow228_file, pprods_file;

// The longest record any data file holds is far below this; a larger
// count means a damaged file, not a number to allocate.
constexpr long MAX_FILE_DIGITS = 100000;

[[noreturn]] void stop_startup(const std::string& message) {
    tarvex_error(message.c_str(), 0);
    throw StartupFailure(message);
}

numnode* digit_node(int32_t d) {
    numnode* n = newnumnode();
    n->digit = d;
    n->next = nullptr;
    return n;
}

// x := `count` digits read from f, most significant first, radix `radix`.
void read_digits(NumberFile& f, long count, imag* x, long radix, const char* file) {
    if (count < 1 || count > MAX_FILE_DIGITS) stop_startup(std::string(file) + " file is damaged.");
    numnode* head = nullptr;
    numnode* tail = nullptr;
    for (long i = 0; i < count; i++) {
        long d = f.next();
        if (d >= radix || d <= -radix) stop_startup(std::string(file) + " file is damaged.");
        numnode* node = digit_node(static_cast<int32_t>(d));
        if (tail) tail->next = node; else head = node;
        tail = node;
    }
    x->head = head;
    x->tail = tail;
    x->count = static_cast<int32_t>(count);
    x->value = static_cast<int32_t>(head->digit);
}

imag* read_number(NumberFile& f, long radix, const char* file) {
    imag* x = new_number();
    read_digits(f, f.next(), x, radix, file);
    return x;
}

// A word of at most 10 characters into an 11-byte field.
void copy_word(char (&field)[11], const std::string& w) {
    size_t n = std::min<size_t>(w.size(), sizeof field - 1);
    std::memcpy(field, w.data(), n);
    field[n] = '\0';
}

void read_qerrs(const std::string& dir) {
    std::ifstream in(dir + "Qerrs", std::ios::binary);
    if (!in) stop_startup("can't find Qerrs");
    // Each message keeps its first 65 bytes, the line end included when shorter.
    std::string line;
    for (int n = 1; n <= ERROR_COUNT; n++) {
        if (!std::getline(in, line)) stop_startup("Qerrs file is damaged.");
        line.push_back('\n');
        size_t len = std::min<size_t>(line.size(), ERROR_TEXT_BYTES - 1);
        std::memcpy(erp[n], line.data(), len);
        erp[n][len] = '\0';
    }
    NumberFile f;
    f.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    f.opened = true;
    long count = f.next();
    if (count < 55 || count > 111) tarvex_error("number builtins is wrong.", 0);
    // The table has room for positions 0..111 only.
    long pairs = std::min<long>(std::max<long>(count, -1) + 1, BUILTIN_SLOTS);
    numbuiltins = static_cast<int>(std::min<long>(count, BUILTIN_SLOTS - 1));
    for (long i = 0; i < BUILTIN_SLOTS; i++) {
        std::string name = "b", word;
        if (i < pairs) {
            name = f.word(10);
            word = f.word(10);
        }
        copy_word(builtin[i].name, name);
        copy_word(builtin[i].word, word);
    }
    if (f.failed) stop_startup("Qerrs file is damaged.");
}

void read_pow228_first(const std::string& dir) {
    NumberFile& f = pow228_file;
    if (!f.open(dir + "pow228")) stop_startup("can't find pow228.");
    for (int k = 0; k < TWO_28_COUNT; k++) {
        long decimals = f.next();
        two_28[k] = new_number();
        read_digits(f, (decimals + 7) / 8, two_28[k], 100000000L, "pow228");
    }
    for (int i = 0; i < FACTS_COUNT; i++) factnum[i] = static_cast<int32_t>(f.next());
    for (int i = 0; i < FACTS_COUNT; i++) facts[i] = read_number(f, DIGIT_BASE, "pow228");
    facts[0]->value = 1;
    facts[1]->value = 3628800;
    // Binomials: every number of a row has the row's digit count, which
    // starts at 1; a negative value where a first digit is due raises it.
    int idx = 0;
    for (int r = 1; r <= 50; r++) {
        long width = 1;
        for (int k = 0; k < 3 * r / 2; k++) {
            long first = f.next();
            if (first < 0) {
                width++;
                first = f.next();
            }
            imag* x = new_number();
            numnode* head = digit_node(static_cast<int32_t>(first));
            numnode* tail = head;
            for (long i = 1; i < width; i++) {
                tail->next = digit_node(static_cast<int32_t>(f.next()));
                tail = tail->next;
            }
            x->head = head;
            x->tail = tail;
            x->count = static_cast<int32_t>(width);
            x->value = head->digit;
            binom[idx++] = x;
        }
    }
    if (f.failed) stop_startup("pow228 file is damaged.");
}

// An optional prime table: without its file it stays unallocated.
void read_int_table(const std::string& dir, const char* name, int32_t*& table, int n,
                    int check_index, int32_t check_value, const char* damaged) {
    NumberFile f;
    if (!f.open(dir + name)) {
        tarvex_error((std::string("can't find ") + name).c_str(), 0);
        return;
    }
    if (!table) table = new int32_t[n]();
    for (int i = 0; i < n; i++) table[i] = static_cast<int32_t>(f.next());
    if (table[check_index] != check_value) tarvex_error(damaged, 0);
}

void read_primelist(const std::string& dir) {
    NumberFile f;
    if (!f.open(dir + "primelist")) stop_startup("can't find primelist");
    for (int i = 0; i < SMALL_PRIME_COUNT; i++) small_prime[i] = static_cast<uint16_t>(f.next());
    for (int i = 0; i < MED_PRIME_COUNT; i++) med_prime[i] = static_cast<int32_t>(f.next());
    if (med_prime[MED_PRIME_COUNT - 1] != 42349) tarvex_error("primelist file is damaged, medium.", 0);
    if (small_prime[SMALL_PRIME_COUNT - 1] == 0) tarvex_error("primelist file is damaged, small.", 0);
}

void read_f256d(const std::string& dir) {
    NumberFile f;
    if (!f.open(dir + "f256d")) {
        tarvex_error("can't find f256d", 0);
        return;
    }
    for (int i = 1; i < 256; i++) f256inv[i] = static_cast<uint16_t>(f.next());
    if (f256inv[255] != 28) tarvex_error("f256d file is damaged 1.", 0);
    for (int a = 0; a < 256; a++)
        for (int b = a; b < 256; b++) f256prod[a * 256 + b] = static_cast<uint16_t>(f.next());
    if (f256prod[65535] != 19) tarvex_error("f256d file is damaged 2.", 0);
    for (int i = 0; i < 256; i++) f256sqr[i] = static_cast<uint16_t>(f.next());
    if (f256sqr[255] != 78) tarvex_error("f256d file is damaged 3.", 0);
    for (int a = 0; a < 256; a++)
        for (int b = a + 1; b < 256; b++) f256prod[b * 256 + a] = f256prod[a * 256 + b];
}

void read_f2t16d(const std::string& dir) {
    NumberFile f;
    if (!f.open(dir + "f2t16d")) {
        tarvex_error("can't find f2t16d", 0);
        return;
    }
    for (int i = 0; i < 65536; i++) f2t16exp[i] = static_cast<uint16_t>(f.next());
    if (f2t16exp[65535] != 1) tarvex_error("f2t16d file is damaged 1.", 0);
    if (f2t16exp[64507] != 14) tarvex_error("f2t16d file is damaged 1.5.", 0);
    for (int i = 1; i < 65536; i++) f2t16inv[i] = static_cast<uint16_t>(f.next());
    if (f2t16inv[65535] != 3602) tarvex_error("f2t16d file is damaged 2.", 0);
    for (int i = 1; i < 65536; i++) f2t16log[i] = static_cast<uint16_t>(f.next());
    if (f2t16log[65535] != 483) tarvex_error("f2t16d file is damaged 3.", 0);
    for (int i = 0; i < 65536; i++) f2t16sqr[i] = static_cast<uint16_t>(f.next());
    if (f2t16sqr[65535] != 41708) tarvex_error("f2t16d file is damaged 4.", 0);
}

// Stocks a free list so that the first computations do not touch the stashes.
void stock_free_lists() {
    for (int i = 0; i < 5001; i++) {
        numnode* n = static_cast<numnode*>(get_slug(numstash));
        if (!n) {
            error(0, "");
            abandon_statement();
        }
        n->next = numhead;
        numhead = n;
    }
}

void stock_poly_list() {
    for (int i = 0; i < 5001; i++) {
        polynode* p = static_cast<polynode*>(get_slug(polystash));
        if (!p) {
            error(0, "");
            abandon_statement();
        }
        p->exp = 0;
        p->next = polygarb;
        polygarb = p;
    }
}

int32_t inverse_mod(int64_t a, int64_t m) {
    int64_t r0 = m, r1 = ((a % m) + m) % m, t0 = 0, t1 = 1;
    while (r1) {
        int64_t q = r0 / r1;
        int64_t r2 = r0 - q * r1, t2 = t0 - q * t1;
        r0 = r1, r1 = r2, t0 = t1, t1 = t2;
    }
    return static_cast<int32_t>(((t0 % m) + m) % m);
}

// invs_prod[j]: the inverse, modulo prime[j + 6], of the product of the
// pprods primes before it.
void set_invs_prod() {
    for (int j = 0; j < NUM_PROD_COUNT - 1; j++) {
        int64_t m = prime[j + 6]->value;
        int64_t acc = 1;
        for (int i = 5; i <= j + 5; i++) acc = acc * inverse_mod(prime[i]->value, m) % m;
        invs_prod[j] = static_cast<int32_t>(acc);
    }
}

void read_pprods() {
    NumberFile& f = pprods_file;
    static const int32_t built_in[5] = {3001, 16087, 16273, 16339, 19997};
    for (int i = 0; i < PRIME_COUNT; i++) {
        long p = i < 5 ? built_in[i] : f.next();
        if (p <= 0 || p >= DIGIT_BASE) stop_startup("pprods file is damaged.");
        prime[i] = new_number();
        numnode* n = digit_node(static_cast<int32_t>(p));
        prime[i]->head = prime[i]->tail = n;
        prime[i]->count = 1;
        prime[i]->value = static_cast<int32_t>(p);
    }
    if (prime[PRIME_COUNT - 1]->value != 48869) {
        std::printf("*** Tarvex error. error in pprods, last prime.\n");
        std::printf("%li %c %d\n", static_cast<long>(prime[PRIME_COUNT - 1]->value), ' ', 48869);
    }
    set_invs_prod();
    for (int j = 0; j < NUM_PROD_COUNT; j++) num_prod[j] = read_number(f, DIGIT_BASE, "pprods");
    if (num_prod[NUM_PROD_COUNT - 1]->count != 332)
        std::printf("*** Tarvex error. error in pprods, last num_prod.\n");
    if (f.failed) stop_startup("pprods file is damaged.");
}

quoly* make_quoly_one() {
    quoly* q;
    newquoly(&q);
    q->isnum = 1;
    q->rat = 0;
    q->den = nullptr;
    q->nnum = new_number();
    setvalue(1, q->nnum);
    q->nnum->value = 1;
    return q;
}

imag* read_chdat_number() {
    imag* x = new_number();
    direct_number_read(x);
    if (x->count < 1) tarvex_error("chdat has an entry without digits.", 1);
    return x;
}

// A second start-up (a test reading another directory) first gives back
// what the previous one built.
void release_loaded_tables() {
    for (auto& x : two_28) if (x) free_imag(&x);
    for (auto& x : facts) if (x) free_imag(&x);
    for (auto& x : binom) if (x) free_imag(&x);
    for (auto& x : prime) if (x) free_imag(&x);
    for (auto& x : num_prod) if (x) free_imag(&x);
    for (auto& q : pol) free_quoly(&q);
    delete[] big_prime;
    big_prime = nullptr;
    delete[] lrgpme;
    lrgpme = nullptr;
    if (chdat) {
        std::fclose(chdat);
        chdat = nullptr;
    }
}

}  // namespace

void direct_poly_read(polynode** slot) {
    long degree = 0;
    if (std::fscanf(chdat, " %ld", &degree) != 1 || degree < 0)
        tarvex_error("chdat has no more entries.", 1);
    polynode* head = nullptr;
    polynode* tail = nullptr;
    for (long e = degree; e >= 0; e--) {
        imag* c = read_chdat_number();
        polynode* t;
        if (e > 0) {
            newpoly(&t);
            t->numb = 0;
            t->pcoef = new_number_node(c);
        } else {
            t = new_number_node(c);
        }
        t->exp = static_cast<int32_t>(e);
        t->next = nullptr;
        if (tail) tail->next = t; else head = t;
        tail = t;
    }
    *slot = head;
}

void direct_quoly_read(quoly** slot) {
    if (!chdat || std::fscanf(chdat, " ") == EOF || std::feof(chdat))
        tarvex_error("chdat has no more entries.", 1);
    quoly* q;
    newquoly(&q);
    q->isnum = 0;
    q->rat = 0;
    imag* d = read_chdat_number();
    if (d->count == 1 && d->head->digit == 1) {
        free_imag(&d);
        q->den = nullptr;
    } else {
        q->den = new_number_node(d);
    }
    direct_poly_read(&q->pnum);
    *slot = q;
}

void get_char_poly(int, int, quoly** slot) { direct_quoly_read(slot); }

void read_char_poly_rows() {
    for (int n = 12; n < POL_SIDE; n++)
        for (int j = 0; j <= n; j++) {
            quoly** slot = &pol[POL_SIDE * n + j];
            if (*slot) continue;
            get_char_poly(n, j, slot);
            size_data_strucs += static_cast<uint32_t>(sizeof(quoly) + (n + 1) * sizeof(polynode));
        }
}

int find_built_in(int lo, int hi, const char* name) {
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = std::strcmp(name, builtin[mid].name);
        if (c == 0) return mid;
        if (c < 0) hi = mid - 1;
        else lo = mid + 1;
    }
    return -1;
}

void subinitialize(const char* directory) {
    std::string dir = directory;
    open_system_stashes();
    init_number_constants();

    modularmode = lintmode = f256 = f2t16 = finf = 0;
    multcut = sqcut = 16;
    dumpitt_level = dumpitt_length = 0;
    verbose = 0;
    original_depth = 1;
    alg_c_count = 0;
    release_loaded_tables();

    std::string chdat_path = dir + "chdat";
    for (int tries = 0; tries < 25 && !chdat; tries++) chdat = std::fopen(chdat_path.c_str(), "r");
    if (!chdat) stop_startup("can't find chdat.");
    read_qerrs(dir);

    if (!tens_base) {
        tens_base = new_number();
        setvalue(100000000, tens_base);
        tens_base->value = 100000000;
    }

    // The interpreter's own structures: the character sets and the
    // recent-token ring. The substitute variable names, the recent-call
    // ring and the function table join them with their subsystems.
    init_scanner_structures();

    read_pow228_first(dir);
    stock_free_lists();

    if (!pprods_file.open(dir + "pprods")) stop_startup("can't find pprods");
    read_primelist(dir);

    read_int_table(dir, "bprimes", big_prime, BIG_PRIME_COUNT, BIG_PRIME_COUNT - 1, 65521,
                   "bprimes file is damaged.");
    read_int_table(dir, "lrgpmes", lrgpme, LRGPME_COUNT, LRGPME_COUNT - 1, 2147483629,
                   "lrgpmes file is damaged.");
    read_f256d(dir);
    read_f2t16d(dir);
}

void initialize(const char* directory) {
    subinitialize(directory);

    read_pprods();
    stock_poly_list();

    for (int i = 0; i < 80; i++) binom[i]->value = static_cast<int32_t>(pow228_file.next());
    if (pow228_file.failed) stop_startup("pow228 file is damaged.");
    pow228_file.close();
    pprods_file.close();

    pol[0] = make_quoly_one();
    for (int n = 1; n <= 11; n++)
        for (int j = 0; j <= n; j++) direct_quoly_read(&pol[POL_SIDE * n + j]);
    set_prods_for_char();

    for (int i = 0; i < GLOBAL_LIST_COUNT; i++) global_list[i] = small_prime[i + 7];
}
