# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)
export CTEST_JOBS

.PHONY: all bootstrap build build-host build-win32 build-win64 test test-host test-windows demo fuzz fuzz-short bench dist clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

# host: the CLI and unit tests; win32: the programs we ship (i686); win64: the same
# sources for x86_64, a test build that runs under 64-bit Wine.
build: bootstrap build-host build-win32 build-win64

build-host:
	cmake --preset host >/dev/null
	cmake --build --preset host -j $(JOBS)

build-win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

build-win64:
	cmake --preset win64 >/dev/null
	cmake --build --preset win64 -j $(JOBS)

# Every test: host natively; the win32 build checked without running it; the Windows
# tests under Wine on the win64 build, and on the win32 build too where this machine
# runs 32-bit programs (scripts/test-windows.sh says which ran); then a short fuzzing run.
test: build
	ctest --preset host -j $(CTEST_JOBS)
	bash scripts/test-windows.sh
	bash scripts/fuzz.sh --short

test-host: bootstrap build-host
	ctest --preset host -j $(CTEST_JOBS)

test-windows: bootstrap build-win32 build-win64
	bash scripts/test-windows.sh

# Packages examples/ into out/show.exe (the i686 stub) and shows what is in it.
demo: bootstrap build-host build-win32
	bash scripts/demo.sh

fuzz: bootstrap
	bash scripts/fuzz.sh

bench: build
	bash scripts/bench.sh

dist: build
	bash scripts/dist.sh

clean:
	rm -rf build out dist
