// The alias records of array parameters while their calls run, each with
// the array it stands for in the end (through aliases of aliases). The
// records that share an array's cells or frames are found here, not by a
// walk of the whole name table: a file that declares arrays over and over
// makes the table as long as the file, and its every whole-array
// assignment asked.
#pragma once
#include <vector>

#include "storage/other_records.h"

// An alias linked into the name table for the array (or alias) bound.
void note_alias(array* alias, const array* bound);
// The array an alias record stands for in the end (through aliases of
// aliases), null when that array is gone; a record that is no alias
// stands for itself.
array* array_behind(array* a);
// The alias goes back to the free list.
void forget_alias(const array* alias);
// The other records holding a's cells or frames: aliases of the array a
// is or stands for, and that array itself while it lives.
std::vector<array*> storage_sharers(const array* a);
