// The matrix commands: Colreduce, Normalize, Redrowech, Rowreduce,
// Pseudet, FFLU, FFLUC, Minors, Hermite, Smith and MSmith share one
// handler that reads the call, checks the matrix, runs the worker and
// makes the output arrays it asked for.
#pragma once
#include <cstdint>
#include <cstdio>

#include "storage/records.h"

struct name;

// Runs built-in n (token at its name) when it is a matrix command or
// Sparse; false for any other number. The value is the rank (Minors: the
// rows chosen; Sparse: 0). The matrix is replaced by its reduced form and
// the outputs are made only once the worker has finished: an error or an
// interrupt on the way leaves no output and gives every work array back.
bool matrix_builtin(FILE** source, quoly** result, name** pending, int32_t n);
