# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
CTEST_JOBS ?= $(JOBS)

.PHONY: all bootstrap build build-host build-win32 test test-host test-win32 demo fuzz fuzz-short bench dist clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

build: bootstrap build-host build-win32

build-host:
	cmake --preset host >/dev/null
	cmake --build --preset host -j $(JOBS)

build-win32:
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 -j $(JOBS)

# Every test of both builds: host natively, win32 under Wine in a fresh prefix of the
# build folder; then a short fuzzing run.
test: build
	testing/wine-prefix.sh $(CURDIR)/build/win32/wineprefix --fresh
	ctest --preset host -j $(CTEST_JOBS)
	ctest --preset win32 -j $(CTEST_JOBS)
	bash scripts/fuzz.sh --short

test-host: bootstrap build-host
	ctest --preset host -j $(CTEST_JOBS)

test-win32: bootstrap build-win32
	ctest --preset win32 -j $(CTEST_JOBS)

# Packages examples/ into out/show.exe and shows what is in it.
demo: build
	bash scripts/demo.sh

fuzz: bootstrap
	bash scripts/fuzz.sh

bench: build
	bash scripts/bench.sh

dist: build
	bash scripts/dist.sh

clean:
	rm -rf build out dist
