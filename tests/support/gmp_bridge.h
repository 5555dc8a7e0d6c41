// Conversions between digit numbers and GMP integers, the tests' reference.
// Chains are read and built here with the storage allocators only, so the
// bridge does not lean on the number routines it is used to check.
#pragma once
#include <gmpxx.h>

#include <cstdint>
#include <string>

#include "storage/records.h"

// The value of the n digits that start at node p (most significant first).
// Tolerates mixed signs and out-of-range digits: each digit is weighed as it
// stands, so a malformed chain still converts to what it literally says.
mpz_class chain_value(const numnode* p, int32_t n);
void chain_value(mpz_t out, const numnode* p, int32_t n);

// The value of a digit number (its count digits from head).
mpz_class to_mpz(const imag* x);

// A fresh number record holding v in normalised digit form.
imag* from_mpz(const mpz_class& v);
// x := v: gives back x's old chain (when count > 0) and builds a new one.
void assign_mpz(imag* x, const mpz_class& v);

// A record from imhead/imagstash owning no digits (count 0).
imag* empty_number();
// Gives back the chain and the record; the slot becomes null.
void release(imag*& x);

// Decimal text of a digit number, and a text short enough for a failure
// message (long values are abridged to their ends and their bit length).
std::string to_string(const imag* x);
std::string describe(const mpz_class& v);
std::string describe(const imag* x);

// A number record owned by a test: built from v (or empty), given back when
// the owner goes out of scope; converts to imag* for the routines under test.
class Num {
public:
    explicit Num(const mpz_class& v) : p_(from_mpz(v)) {}
    Num() : p_(empty_number()) {}
    ~Num() {
        if (p_) release(p_);
    }
    Num(const Num&) = delete;
    Num& operator=(const Num&) = delete;
    operator imag*() const { return p_; }
    imag* operator->() const { return p_; }

private:
    imag* p_;
};

mpz_class abs_of(const mpz_class& v);
mpz_class gmp_gcd(const mpz_class& a, const mpz_class& b);
