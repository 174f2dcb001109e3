# Thin wrapper around CMake. Quick start: `make demo`, `make test`.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local

.PHONY: all build demo test bench fuzz install package clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Runs the program on the bundled examples and shows what it wrote.
# Only the program is built: the demo needs no test to compile.
demo: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target propsmooth
	@sh examples/demo.sh $(BUILD)/propsmooth

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

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
