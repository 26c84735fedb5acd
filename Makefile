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

.PHONY: all deps linux win32 demo test test-linux test-win32 bench install clean

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

test: linux win32
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
