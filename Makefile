# Thin wrapper over CMake. `make demo` and `make test` install what they need.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) --timeout 600

demo: build
	@scripts/demo.sh $(BUILD_DIR)

bench: build
	@bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) demo-out demo-in
