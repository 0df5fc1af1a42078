# Thin wrapper over CMake. `make demo` and `make test` install what they need.
MAKEFLAGS += --no-print-directory
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# The checked builds: unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the fuzz targets (clang for both).
SANITIZE_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
# The lock annotations checked: every target built by clang with
# -Wthread-safety and warnings as errors (built only, no tests run).
TSA_DIR ?= build-tsa
FUZZ_SECONDS ?= 60
# make install: below PREFIX, staged below DESTDIR when it is set.
PREFIX ?= /usr/local
DESTDIR ?=
CLANG = -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

.PHONY: all deps configure build test test-sanitize check-thread-safety fuzz demo bench clean \
  install uninstall deb check-install

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

check-thread-safety: deps
	@cmake -S . -B $(TSA_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG) -DPIXOLUNE_WERROR=ON >/dev/null
	@cmake --build $(TSA_DIR) -j $(JOBS) --target pixolune pixolune-helper pixolune-window unit_tests e2e_tests window_tests

# Builds the fuzz targets and runs each for FUZZ_SECONDS seconds.
fuzz: deps
	@cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CLANG) -DPIXOLUNE_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz_targets
	@scripts/fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

# Installs the program, its helper, window module, themes, manual, manual
# page, completions, desktop entry, icons and metainfo (cmake/install.cmake).
install: build
	@DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)" --strip

# Removes what the last make install from $(BUILD_DIR) wrote (give the same
# DESTDIR).
uninstall:
	@DESTDIR="$(DESTDIR)" cmake -DMANIFEST=$(abspath $(BUILD_DIR))/install_manifest.txt -P cmake/install.cmake

# The Debian package, $(BUILD_DIR)/pixolune_<version>_<arch>.deb. CPack
# writes its own install manifest: the one of make install is kept.
deb: build
	@cd $(BUILD_DIR) && if [ -f install_manifest.txt ]; then cp install_manifest.txt install_manifest.keep; fi; \
	  status=0; cpack -G DEB || status=$$?; \
	  if [ -f install_manifest.keep ]; then mv install_manifest.keep install_manifest.txt; else rm -f install_manifest.txt; fi; \
	  exit $$status

# Installs into a temporary DESTDIR and checks the installed program and files.
check-install: build
	@scripts/check-install.sh $(BUILD_DIR)

demo: build
	@scripts/demo.sh $(BUILD_DIR)

bench: build
	@bench/run.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(FUZZ_DIR) $(TSA_DIR) demo-out demo-in
