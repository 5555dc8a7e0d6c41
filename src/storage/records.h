// The value records: digit nodes, numbers, polynomial term nodes and quolys,
// with their free lists, allocators and freeing routines.
//
// Allocators take the caller's slot and fill it from the kind's free list
// first, the stash only when the list is empty; nothing is cleared. Freeing
// routines push onto the front of the free list (a whole chain in one
// splice) and set the slot to null. Records never return to their stash.
#pragma once
#include <cstdint>

struct numnode {
    int32_t digit;      // one base-2^28 digit, carrying the sign of the whole number
    numnode* next;      // next less significant digit; null after the last
};

struct imag {
    numnode* head;      // most significant digit
    numnode* tail;      // least significant digit
    imag* link;         // free-list link, used only while free
    int32_t value;      // the whole value in machine-integer and modular mode
    int32_t count;      // digit nodes owned; 0 = none. 32-bit: numbers may exceed 32,767 digits
};

struct polynode {
    polynode* next;     // next term of this level, exponents strictly decreasing
    union {
        void* coef;         // the coefficient:
        imag* ncoef;        //   a number when numb is 1,
        polynode* pcoef;    //   a polynomial in the next inner variable when numb is 0
    };
    int32_t exp;        // exponent of this level's variable (negative only with Laurent exponents)
    int32_t numb;       // 1: coef is a number
};

struct quoly {
    quoly* link;        // free-list link, used only while free
    union {
        void* num;          // the number (isnum 1) or the numerator polynomial
        imag* nnum;
        polynode* pnum;
    };
    polynode* den;      // denominator, null = 1; for a number quoly non-zero marks an array parameter
    int32_t isnum;      // 1: num holds a number
    int32_t rat;        // 1: a rational number held as two one-node polynomials
};

struct colm {
    int32_t col;        // second subscript, counted from 1
    quoly* val;
    colm* next;         // next entry of the row; also the free-list link
};

// Nominal record sizes used in memory accounting; the real sizes differ on
// 64-bit machines.
constexpr int32_t polynodesize = 16;
constexpr int32_t quolysize = 20;
constexpr int32_t numbersize = 20;
constexpr int32_t numnodesize = 8;

extern imag* imhead;        // free numbers, through link
extern numnode* numhead;    // free digit nodes, through next
extern polynode* polygarb;  // free term nodes, through next
extern quoly* quolygarb;    // free quolys, through link
extern colm* colm_garb;     // free sparse entries, through next

void newimag(imag** slot);
void newpoly(polynode** slot);
void newquoly(quoly** slot);
void newcolm(colm** slot);
numnode* newnumnode();                  // a digit node, fields unset

void init_poly_node(polynode* node);    // node.coef := a fresh number with count 0
void init_quoly_node(quoly* q);         // q.num := a fresh number with count 0

void free_imag(imag** slot);            // digits (unless lintmode) then the record
void free_num(imag* n);                 // digits only (unless lintmode); count left as is
void free_poly(polynode** slot);        // depth first: coefficients, then the chain
void special_free_poly(polynode** slot);// a chain whose coefficients are all numbers
void free_quoly(quoly** slot);

// A polynomial owned by the enclosing scope: freed on every exit, an
// unwinding error included, unless released first.
struct PolyHold {
    polynode* p = nullptr;
    PolyHold() = default;
    explicit PolyHold(polynode* x) : p(x) {}
    ~PolyHold() { free_poly(&p); }
    PolyHold(const PolyHold&) = delete;
    PolyHold& operator=(const PolyHold&) = delete;
    void reset(polynode* x = nullptr) {
        free_poly(&p);
        p = x;
    }
    polynode* release() {
        polynode* x = p;
        p = nullptr;
        return x;
    }
};

void polynum_to_quoly(quoly** q);       // q's constant numerator node becomes its number
void poly_to_scalar(polynode* p, imag* n);

// A detached number node (exponent 0, no next term) that takes n over.
polynode* new_number_node(imag* n);
// A detached term node of exponent e (no next term) over the polynomial coef.
polynode* new_term_node(int32_t e, polynode* coef);

// Gives a digit chain (head .. tail) back to numhead in one splice.
void give_back_chain(numnode* head, numnode* tail);
