// The rest of the line a nested command level interrupted. The statement
// under work may not have read all of its line yet; the level must not
// read that rest as its own statements, nor may the rest be lost: it is
// kept aside while the level reads what is typed after the interrupt, and
// read again, before anything else from its stream, when the level is left.
#pragma once
#include <cstdio>
#include <string>

struct HeldLine {
    FILE* stream = nullptr;
    std::string text;
};

// What is left of the current line of f, taken out of the stream with its
// line end; the text kept leaves the line end out, for the line that leaves
// the level ends the statement's line instead (so a statement ended by its
// line end still is, and the prompts come as for a statement that was not
// interrupted). Characters held back before come first.
HeldLine take_rest_of_line(FILE* f);

// Makes held.text the next characters read from its stream, ahead of any
// held back before.
void give_back(HeldLine held);

// The next held character of f, taken; -1 when none is held.
int next_held_char(FILE* f);

// Puts back the character just read from f: in front of the held ones when
// it came from them, into the stream otherwise.
void unread_input_char(int c, FILE* f);
