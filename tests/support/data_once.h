// Tests that need the tables of the data directory (field tables,
// factorials, primes) read it once per process.
#pragma once

// Runs initialize() on the directory the build generated, the first time only.
void load_data_once();
