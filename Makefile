# Thin wrapper over CMake. `make demo` and `make test` install what they need.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# The checked builds: unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets (clang for both).
SANITIZE_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 60
CLANG = -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

.PHONY: all deps configure build test test-sanitize fuzz demo bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Leaks count as failures, but for the font library's process-wide
# configuration (tests/support/lsan.supp).
test-sanitize: deps
	@cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG) -DPIXOLUNE_SANITIZE=ON >/dev/null
	@cmake --build $(SANITIZE_DIR) -j $(JOBS) --target unit_tests
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/support/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 timeout 1200 ./unit_tests

# Builds the fuzz targets and runs each for FUZZ_SECONDS seconds.
fuzz: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG) -DPIXOLUNE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	@scripts/fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

bench: build
	@bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) demo-out demo-in
