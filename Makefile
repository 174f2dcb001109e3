# Thin wrapper around CMake. Quick start: `make demo`, `make test`; both
# first install what they need and the machine lacks (scripts/install-deps).
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# `make ... INSTALL_DEPS=true` skips the package check, e.g. off Debian.
INSTALL_DEPS ?= scripts/install-deps
# The package set of scripts/install-deps; the demo needs the smallest.
DEPS_SET = test
demo: DEPS_SET = build
# The demo configures without the tests, so that it needs no GoogleTest;
# `make test` turns them on in the same build folder.
demo: CONFIGURE_FLAGS = -DPROPSMOOTH_TESTS=OFF

.PHONY: all build deps demo test bench fuzz install package clean

all: build

deps:
	@$(INSTALL_DEPS) $(DEPS_SET)

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CONFIGURE_FLAGS) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Runs the program on the bundled examples and shows what it wrote.
# Only the program is built: the demo needs no test to compile.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target propsmooth
	@sh examples/demo.sh $(BUILD)/propsmooth

# Configures again, so that a folder `make demo` set up gets its tests and
# CMAKE_FLAGS given now apply; --no-tests=error: a build without tests fails.
test: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DPROPSMOOTH_TESTS=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# Speed figures; never part of `make test`.
bench:
	sh bench/run.sh

# Bounded libFuzzer runs (FUZZ_SECONDS per target, default 60).
fuzz:
	sh tests/fuzz/run.sh

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
