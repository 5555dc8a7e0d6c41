// A session for the matrix commands through the command language: one
// polynomial variable, every array and variable dropped afterwards, with
// look-up of arrays by name and the loop's landing place after an error.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "../interp/statement_runs.h"
#include "interp/array_table.h"
#include "interp/settings.h"
#include "matrix/array_store.h"
#include "matrix/sparse.h"
#include "poly/polyvars.h"
#include "sparse_check.h"
#include "support/ring_setup.h"

class MatrixCommandFixture : public statement_runs::StatementRuns {
protected:
    void SetUp() override {
        start(0);
        addresser = 1;
        run("&(J = x);");
    }
    void TearDown() override {
        run("@[**];");
        addresser = 1;
        drop_all_poly_vars();
        finish();
    }
    static array* named(const char* s) {
        tokenrec t;
        set_token(&t, s);
        array* a = nullptr;
        fastestlookup(&t, &a);
        return a;
    }
    // A statement stopped by an error, and the loop's landing place after it.
    static statement_runs::Outcome stopped(const std::string& text) {
        statement_runs::Outcome o = run(text);
        ::finish = nullptr;
        at_statement_start = true;
        return o;
    }
    static void expect_sparse_ok(const char* s) {
        const array* a = named(s);
        ASSERT_NE(a, nullptr) << s;
        ASSERT_NE(a->sparse, nullptr) << s;
        EXPECT_TRUE(sparse_ok(a->sparse, a->rows, array_columns(a))) << s;
    }
};
