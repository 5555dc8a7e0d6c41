// The array statements as the statement loops, the dispatcher and the
// factor routine reach them (the array language lives above the
// interpreter: this header is its one entry for the layers below).
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// The statement family chosen by code ('[', '~', '"', '%', 'A', 'M', 'S',
// 'T', '7', '8', 'H', 'L'; any other: nothing). `token` is the statement's first
// token (or the built-in's name). *result := the statement's value.
void arr_parse(int code, FILE** source, quoly** result, name** pending);
