# Two build trees from one source tree:
#   build/native   Linux, g++; tests run natively.
#   build/windows  x86-64 Windows, cross-built with mingw-w64 (runtime linked
#                  statically); tests run under Wine in a prefix of its own.
#
#   make test    build both trees and run every test in both, then the native
#                suite again under ASan+UBSan and under TSan; prints the size
#                of the tests against the code (tools/test-ratio.sh)
#   make demo    the main job: a tour of the plug-in through tessaro-host,
#                against tessaro-sim on a pseudo-terminal as COM5
#   make bench   every benchmark in one run, natively and under Wine; the
#                report goes to docs/performance.md
#   make screenshots  PNG pictures of the four dialogs under Wine, into
#                docs/screenshots
#   make soak    SOAK_MOVES moves of each drive from three threads, then
#                SOAK_RECONNECTS reconnects, under AddressSanitizer
#   make fault-matrix  every operation under every injected fault, as
#                tables in docs/fault-matrix.md (natively, and through
#                tessaro-host under Wine)
#   make lifecycle  the lifecycle model test for LIFECYCLE_SECONDS (default
#                600) from seed LIFECYCLE_SEED (default 1), the simulator at
#                LIFECYCLE_SPEED times real speed (default 2)
#   make dist    the packages a lab installs, into dist/: the Windows MSI and
#                zip, a wheel for Windows and one for Linux, the .deb
#                (packaging/make-dist.sh)
#   make dist-check  each package installed and used in a scratch place: the
#                MSI under Wine, the Linux wheel in a fresh venv, the .deb
#   make fuzz    libFuzzer on each fuzz target (settings texts; packets and
#                the simulator's receiver) for FUZZ_SECONDS each (clang, in
#                build/fuzz, with AddressSanitizer and UBSan)
#
# Missing Debian packages are installed first (as root, or through sudo).

NATIVE  := build/native
WINDOWS := build/windows
WINEPREFIX_DIR := $(CURDIR)/$(WINDOWS)/wineprefix
JOBS ?= $(shell nproc)
MAKEFLAGS += --no-print-directory

.PHONY: all deps native windows dist dist-check test test-native test-windows test-sanitizers asan demo bench soak fault-matrix fuzz lifecycle screenshots format clean

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

# All suites run even when one fails; the result is their sum. SANITIZERS=0
# leaves out the native suite's runs under the sanitizers (quicker).
SANITIZERS ?= 1
test: native windows
	@rc=0; \
	$(MAKE) --no-print-directory test-native || rc=1; \
	$(MAKE) --no-print-directory test-windows || rc=1; \
	if [ "$(SANITIZERS)" != 0 ]; then $(MAKE) --no-print-directory test-sanitizers || rc=1; fi; \
	sh tools/test-ratio.sh || true; \
	exit $$rc

# The native suite built with AddressSanitizer + UndefinedBehaviorSanitizer
# (LeakSanitizer included), and with ThreadSanitizer. Any report fails the
# test that caused it. GCC 12's AddressSanitizer reports a false
# stack-use-after-scope in its own alternate signal stack when a thread
# ends; use_sigaltstack=0 avoids it.
ASAN := build/asan
# UBSan's float-to-integer overflow check is not part of "undefined" in GCC.
ASAN_FLAGS := -fsanitize=address,undefined,float-cast-overflow
TSAN := build/tsan
ASAN_ENV := ASAN_OPTIONS=use_sigaltstack=0:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_FLAGS="$(ASAN_FLAGS) -fno-sanitize-recover=all -fno-omit-frame-pointer" \
	    -DCMAKE_EXE_LINKER_FLAGS=$(ASAN_FLAGS) -DCMAKE_SHARED_LINKER_FLAGS=$(ASAN_FLAGS) >/dev/null
	@cmake --build $(ASAN) -j $(JOBS) >/dev/null

test-sanitizers: asan
	@echo "== native tests under AddressSanitizer + UndefinedBehaviorSanitizer"
	@cd $(ASAN) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)
	@echo "== native tests under ThreadSanitizer"
	@cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
	    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
	    -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread >/dev/null
	@cmake --build $(TSAN) -j $(JOBS) >/dev/null
	@cd $(TSAN) && ctest --output-on-failure -j $(JOBS)

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

# The packages are made from both trees as `make test` leaves them; the
# version is packaging/version.sh's (resources/module_version.h).
dist: native windows
	@bash packaging/make-dist.sh $(NATIVE) $(WINDOWS) build/dist dist

dist-check: dist
	@bash packaging/check-dist.sh dist $(NATIVE) build/dist-check

demo: native
	@sh tools/demo.sh $(NATIVE)

bench: native windows
	@sh bench/run-benchmarks.sh $(NATIVE) $(WINDOWS) >$(NATIVE)/performance.md
	@cp $(NATIVE)/performance.md docs/performance.md && cat docs/performance.md

# The long soak, under AddressSanitizer (LeakSanitizer checks at the end).
SOAK_MOVES ?= 1000
SOAK_RECONNECTS ?= 200
soak: asan
	@$(ASAN_ENV) $(ASAN)/bin/soak --moves $(SOAK_MOVES) --reconnects $(SOAK_RECONNECTS)
	@echo "== the same over a plain UART paced byte by byte"
	@$(ASAN_ENV) $(ASAN)/bin/soak --moves $(SOAK_MOVES) --reconnects $(SOAK_RECONNECTS) --latency 0

fault-matrix: native windows
	@sh tools/fault-matrix-report.sh $(NATIVE) $(WINDOWS) docs/fault-matrix.md

screenshots: windows
	@sh tools/install-deps.sh imagemagick
	@sh tools/screenshots.sh $(WINDOWS) docs/screenshots

LIFECYCLE_SECONDS ?= 600
LIFECYCLE_SEED ?= 1
# The simulator's motion, times real speed.
LIFECYCLE_SPEED ?= 2
lifecycle: native
	@PYTHONPATH=$(NATIVE)/python-package /usr/bin/python3 tests/lifecycle/lifecycle.py \
	    --sim $(NATIVE)/bin/tessaro-sim --seconds $(LIFECYCLE_SECONDS) --seed $(LIFECYCLE_SEED) \
	    --sim-speed $(LIFECYCLE_SPEED)

FUZZ := build/fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@sh tools/install-deps.sh clang
	@cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	    -DTESSARO_FUZZ=ON -DBUILD_TESTING=ON >/dev/null
	@cmake --build $(FUZZ) -j $(JOBS) --target tessaro_settings_fuzzer tessaro_link_fuzzer
	@for target in settings link; do \
	    echo "== fuzzing $$target for $(FUZZ_SECONDS) s"; \
	    mkdir -p $(FUZZ)/corpus/$$target $(FUZZ)/findings/$$target; \
	    $(FUZZ)/bin/tessaro_$${target}_fuzzer -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ)/findings/$$target/ $(FUZZ)/corpus/$$target \
	        tests/fuzz/corpus/$$target >$(FUZZ)/$$target.log 2>&1; rc=$$?; \
	    grep -E '^(stat::|Done|==[0-9]+==|SUMMARY)' $(FUZZ)/$$target.log; \
	    [ $$rc = 0 ] || { echo "finding: see $(FUZZ)/$$target.log"; exit 1; }; \
	done

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@if [ -d $(WINEPREFIX_DIR) ]; then sh cmake/wine-prepare.sh stop $(WINEPREFIX_DIR); fi
	rm -rf build
