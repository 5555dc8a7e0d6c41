// The output statement '!' and the '&' 'o' item that sends its items to
// the output file.
#pragma once
#include <cstdio>

#include "storage/records.h"

struct name;

// The statement (token at '!'); value := 0 afterwards. "!!" ends the line.
void write_out(FILE** source, quoly** value, name** pending);
// token at '&': "o" must follow (error 261) and an output file be open
// (error 263); *terminal := 0, *out := the output file's stream slot.
void handle_andsign(FILE** source, name** pending, int* terminal, FILE*** out);
