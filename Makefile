# make test: install what is missing, configure, build, run every test.
# make run:  build and start the interpreter.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test run bench asan clean random-programs

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	@$(BUILD)/bin/tarvex

bench: build
	$(BUILD)/bench/bench_startup
	$(BUILD)/bench/bench_base10
	$(BUILD)/bench/bench_numbers
	$(BUILD)/bench/bench_numbers large
	$(BUILD)/bench/bench_onevar_gcd
	$(BUILD)/bench/bench_gcd
	$(BUILD)/bench/bench_poly_builtins
	$(BUILD)/bench/bench_sparse
	$(BUILD)/bench/bench_intmult
	$(BUILD)/bench/bench_det
	$(BUILD)/bench/bench_det_shapes
	$(BUILD)/bench/bench_sparse_det
	$(BUILD)/bench/bench_hamilton
	$(BUILD)/bench/bench_minors
	$(BUILD)/bench/bench_factor
	$(BUILD)/bench/bench_matrix_products
	$(BUILD)/bench/bench_deriv_eval
	$(BUILD)/bench/bench_isprime
	$(BUILD)/bench/bench_sort
	$(BUILD)/bench/bench_matcmd
	$(BUILD)/bench/bench_modout
	$(BUILD)/bench/bench_field_inverse
	$(BUILD)/bench/bench_pth_roots
	$(BUILD)/bench/bench_trial_divide
	$(BUILD)/bench/bench_word_kernels
	python3 bench/bench_quoly.py $(BUILD)/bin/tarvex
	python3 bench/bench_sparse_gcd.py $(BUILD)/bin/tarvex
	python3 bench/bench_small_prime_gcd.py $(BUILD)/bin/tarvex
	python3 bench/bench_long_waits.py $(BUILD)/bin/tarvex
	python3 bench/bench_aux_primes.py $(BUILD)/bin/tarvex
	python3 bench/bench_field_gcd.py $(BUILD)/bin/tarvex
	python3 bench/bench_tower_gcd.py $(BUILD)/bin/tarvex
	python3 bench/bench_field_sizes_gcd.py $(BUILD)/bin/tarvex
	$(BUILD)/bench/bench_sparse_eval
	$(BUILD)/bench/bench_sparse_echelon
	python3 bench/bench_arrays.py $(BUILD)/bin/tarvex
	python3 bench/bench_blocks.py $(BUILD)/bin/tarvex
	python3 bench/bench_functions.py $(BUILD)/bin/tarvex
	python3 bench/bench_ring_relation_sums.py $(BUILD)/bin/tarvex
	python3 bench/bench_ring_change.py $(BUILD)/bin/tarvex
	python3 bench/bench_files.py $(BUILD)/bin/tarvex
	python3 bench/bench_read_decimal.py $(BUILD)/bin/tarvex
	python3 bench/bench_builtins.py $(BUILD)/bin/tarvex
	python3 bench/bench_coefficients.py $(BUILD)/bin/tarvex
	python3 bench/bench_polydet.py $(BUILD)/bin/tarvex
	python3 bench/bench_normal_forms.py $(BUILD)/bin/tarvex
	python3 bench/bench_normal_form_sizes.py $(BUILD)/bin/tarvex
	python3 bench/bench_hermite_products.py $(BUILD)/bin/tarvex
	python3 bench/bench_int_determ.py $(BUILD)/bin/tarvex
	python3 bench/bench_sparse_polydet.py $(BUILD)/bin/tarvex
	python3 bench/bench_matrix_powers.py $(BUILD)/bin/tarvex
	$(BUILD)/bench/bench_minpoly
	python3 bench/bench_minpoly.py $(BUILD)/bin/tarvex
	python3 bench/bench_chpoly.py $(BUILD)/bin/tarvex
	python3 bench/bench_factor_small_primes.py $(BUILD)/bin/tarvex
	python3 bench/bench_field_relation_fractions.py $(BUILD)/bin/tarvex
	python3 bench/bench_value_compare.py $(BUILD)/bin/tarvex

# Tests under AddressSanitizer and UndefinedBehaviorSanitizer, in a build tree of their own.
asan:
	$(MAKE) test BUILD=build-asan CMAKE_FLAGS="-DTARVEX_SANITIZE=ON -DTARVEX_BENCH=OFF"

clean:
	rm -rf build build-asan

# A longer run of the random-program test under the sanitizers; CI does not
# run it. RANDOM_COUNT programs from RANDOM_SEED; RANDOM_FAMILIES (comma-
# separated) widens or narrows the families drawn.
RANDOM_COUNT ?= 3000
RANDOM_SEED ?= 7
RANDOM_FAMILIES ?=
random-programs:
	$(MAKE) BUILD=build-asan CMAKE_FLAGS="-DTARVEX_SANITIZE=ON -DTARVEX_BENCH=OFF $(CMAKE_FLAGS)" configure
	cmake --build build-asan -j $(JOBS) --target tarvex backward_data
	python3 tests/transcripts/random_programs.py build-asan/bin/tarvex $(RANDOM_COUNT) $(RANDOM_SEED) $(RANDOM_FAMILIES)
