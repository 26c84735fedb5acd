# Brightfall's front door. `make demo` and `make test` install what is
# missing (Debian 12, as root), build, and run.

SHELL := /bin/bash
JOBS ?= $(shell nproc)
OUT ?= $(CURDIR)/out

# Windows programs run under Wine in a prefix of the build tree's own, with
# no first-run dialogs and no debug chatter.
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG ?= -all
export WINEDLLOVERRIDES ?= mscoree=;mshtml=

.PHONY: all deps linux win32 demo test test-linux test-win32 test-asan test-tsan fuzz fuzz-ci \
        fuzz-long bench install clean

all: linux win32

deps:
	@scripts/install-deps

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

demo: linux
	@tools/make-demo.sh build/linux $(OUT)

test-linux: linux
	ctest --preset linux -j 2

test-win32: win32
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win32

# The robustness runs: the unit and ABI tests again under ASan + UBSan
# (LeakSanitizer included), the concurrency stress test under TSan, and each
# fuzzer for FUZZ_SECONDS over its seed corpus.
test-asan: deps
	cmake --preset linux-asan >/dev/null
	cmake --build --preset linux-asan -j $(JOBS)
	ctest --preset linux-asan -j 2

test-tsan: deps
	cmake --preset linux-tsan >/dev/null
	cmake --build --preset linux-tsan -j $(JOBS)
	ctest --preset linux-tsan

FUZZ_SECONDS ?= 60
FUZZ_LONG_SECONDS ?= 1800

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz-ci: fuzz
	fuzz/run-fuzzers build/fuzz $(FUZZ_SECONDS)

fuzz-long: fuzz
	fuzz/run-fuzzers build/fuzz $(FUZZ_LONG_SECONDS)

# Everything: the robustness runs first, then both modules' suites, so the
# run ends with CTest's summary of the Windows build under Wine.
test: linux win32
	$(MAKE) --no-print-directory test-asan test-tsan fuzz-ci
	ctest --preset linux -j 2
	xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset win32

bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

install: linux
	cmake --install build/linux

clean:
	rm -rf build out
