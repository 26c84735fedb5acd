# Brightfall's front door. `make demo` and `make test` install what is
# missing (Debian 12, as root), build, and run.

SHELL := /bin/bash
JOBS ?= $(shell nproc)
OUT ?= $(CURDIR)/out

# Windows programs run under Wine through scripts/wine-run: the 32-bit or
# the 64-bit loader, each with a prefix of its own under build/. On a machine
# whose kernel refuses 32-bit programs the i686 test programs are reported as
# skipped, and the summary at the end of `make test` says so.
XVFB := xvfb-run -a -s "-screen 0 1280x1024x24"
JUNIT = --output-junit $(CURDIR)/build/junit-$(1).xml

.PHONY: all deps deps-demo linux win32 win64 demo dist test test-linux test-win32 test-win64 test-dist test-asan \
        test-tsan fuzz fuzz-ci fuzz-long bench install clean

all: linux win32 win64

# What `make test` and the builds need, and the smaller set `make demo` needs.
# A sub-make passes DEPS_DONE=1 so the packages are checked once a run.
deps:
	@[ -n "$(DEPS_DONE)" ] || scripts/install-deps test

deps-demo:
	@scripts/install-deps demo

linux: deps
	cmake --preset linux >/dev/null
	cmake --build --preset linux -j $(JOBS)

win32: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

win64: deps
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

# The demo builds the modules and tools only, no test programs, in a tree of
# its own (build/demo).
demo: deps-demo
	cmake --preset demo >/dev/null
	cmake --build --preset demo -j $(JOBS)
	@tools/demo/make-demo.sh build/demo $(OUT)

# The packages a user installs, from release builds of their own (no test
# code, no sanitizer: build/dist-*), into dist/: the Debian package, the Linux
# and Windows archives, SHA256SUMS.
dist: deps
	cmake --preset dist-linux >/dev/null
	cmake --build --preset dist-linux -j $(JOBS)
	cmake --preset dist-win32 >/dev/null
	cmake --build --preset dist-win32 -j $(JOBS)
	cmake --preset dist-win64 >/dev/null
	cmake --build --preset dist-win64 -j $(JOBS)
	packaging/make-dist build dist

test-linux: linux
	ctest --preset linux -j 2

# Each Windows suite holds its module's render against the Linux module's,
# so the Linux build comes first.
test-win32: linux win32
	$(XVFB) ctest --preset win32

test-win64: linux win64
	$(XVFB) ctest --preset win64

# The packages as a user gets them, unpacked into build/dist-linux: their
# modules through the test builds' ABI tests, lintian, the renders.
test-dist: linux win32 win64 dist
	$(XVFB) ctest --preset dist $(DIST_JUNIT)

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
# Half an hour each, two at a time (one per core): two hours for the four
# fuzzers, over 10^8 calls into the plug-in (docs/RELIABILITY.md).
FUZZ_LONG_SECONDS ?= 1800
FUZZ_LONG_JOBS ?= 2

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

fuzz-ci: fuzz
	fuzz/run-fuzzers build/fuzz $(FUZZ_SECONDS)

fuzz-long: fuzz
	FUZZ_JOBS=$(FUZZ_LONG_JOBS) fuzz/run-fuzzers build/fuzz $(FUZZ_LONG_SECONDS)

# Everything: the robustness runs first, then the three modules' suites, and
# last a summary over the suites that names anything skipped and why.
test: linux win32 win64
	$(MAKE) --no-print-directory DEPS_DONE=1 test-asan test-tsan fuzz-ci
	rm -f build/junit-*.xml
	ctest --preset linux -j 2 $(call JUNIT,linux)
	$(XVFB) ctest --preset win32 $(call JUNIT,win32)
	$(XVFB) ctest --preset win64 $(call JUNIT,win64)
	$(MAKE) --no-print-directory DEPS_DONE=1 test-dist DIST_JUNIT="$(call JUNIT,dist)"
	@scripts/test-summary build linux win32 win64 dist

# The benchmarks, each against its reference in the same run; the peer
# plug-ins they load are installed here, never by `make test`.
bench:
	@[ -n "$(DEPS_DONE)" ] || scripts/install-deps bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/*_bench; do [ -x "$$b" ] && "$$b"; done

install: linux
	cmake --install build/linux

clean:
	rm -rf build out dist
