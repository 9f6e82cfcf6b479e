# Two build trees from one source tree:
#   build/native   Linux, g++; tests run natively.
#   build/windows  x86-64 Windows, cross-built with mingw-w64 (runtime linked
#                  statically); tests run under Wine in a prefix of its own.
#
#   make test    build both trees and run every test in both
#   make demo    the main job: probe a scripted peer on a pseudo-terminal
#   make bench   benchmarks, natively and under Wine
#   make screenshots  PNG pictures of the four dialogs under Wine, into
#                docs/screenshots
#   make fuzz    libFuzzer on each fuzz target for FUZZ_SECONDS (clang, in
#                build/fuzz, with AddressSanitizer and UBSan)
#
# Missing Debian packages are installed first (as root, or through sudo).

NATIVE  := build/native
WINDOWS := build/windows
WINEPREFIX_DIR := $(CURDIR)/$(WINDOWS)/wineprefix
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all deps native windows test test-native test-windows demo bench fuzz screenshots format clean

all: native windows

deps:
	@sh tools/install-deps.sh

native: deps
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

windows: native
	@cmake -S . -B $(WINDOWS) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	    -DTESSARO_NATIVE_BUILD_DIR=$(CURDIR)/$(NATIVE) >/dev/null
	@cmake --build $(WINDOWS) -j $(JOBS)

# Both suites run even when the first fails; the result is their sum.
test: native windows
	@rc=0; \
	$(MAKE) --no-print-directory test-native || rc=1; \
	$(MAKE) --no-print-directory test-windows || rc=1; \
	exit $$rc

test-native: native
	@echo "== native tests"
	@cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

# Wine's server and services start before CTest (started inside it they can
# hang it) and stop after it, whatever the result.
test-windows: windows
	@echo "== Windows tests under Wine"
	@sh cmake/wine-prepare.sh start $(WINEPREFIX_DIR)
	@cd $(WINDOWS) && ctest --output-on-failure -j $(JOBS); rc=$$?; \
	sh $(CURDIR)/cmake/wine-prepare.sh stop $(WINEPREFIX_DIR); exit $$rc

demo: native
	@sh tools/demo.sh $(NATIVE)

bench: native windows
	@sh bench/run-benchmarks.sh $(NATIVE) $(WINDOWS)

screenshots: windows
	@sh tools/install-deps.sh imagemagick
	@sh tools/screenshots.sh $(WINDOWS) docs/screenshots

FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@sh tools/install-deps.sh clang
	@cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DTESSARO_FUZZ=ON -DBUILD_TESTING=ON >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target tessaro_settings_fuzzer
	@mkdir -p $(FUZZ)/corpus/settings $(FUZZ)/findings
	@$(FUZZ)/bin/tessaro_settings_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ)/findings/ $(FUZZ)/corpus/settings tests/fuzz/corpus/settings

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@if [ -d $(WINEPREFIX_DIR) ]; then sh cmake/wine-prepare.sh stop $(WINEPREFIX_DIR); fi
	rm -rf build
