# Thin wrapper around CMake. Quick start: `make demo`, `make test`; both
# first install what they need and the machine lacks (scripts/install-deps).
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# `make ... INSTALL_DEPS=true` skips the package check, e.g. off Debian.
INSTALL_DEPS ?= scripts/install-deps
# The package set of scripts/install-deps: building needs the smallest,
# the .deb adds its tools, the tests theirs. A target's set is also that of
# the targets it runs first: `make package` checks for the package set once.
DEPS_SET = build
demo: DEPS_SET = demo
package: DEPS_SET = package
test: DEPS_SET = test
# The demo configures without the tests, so that it needs no GoogleTest;
# `make test` turns them on in the same build folder.
demo: CONFIGURE_FLAGS = -DPROPSMOOTH_TESTS=OFF

# The Windows program's build folder and the MinGW-w64 compiler it needs.
WIN_BUILD ?= build-win
MINGW_CXX = x86_64-w64-mingw32-g++-posix
VERSION = $(shell sed -n 's/^project.propsmooth VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
WIN_ZIP = propsmooth-$(VERSION)-win64

.PHONY: all build deps demo test bench fuzz install package package-windows r-package clean

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
# CMAKE_FLAGS given now apply; test_prerequisites stops here, naming the
# package, when CMake found no GoogleTest; --no-tests=error: a build
# without tests fails.
test: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DPROPSMOOTH_TESTS=ON $(CMAKE_FLAGS)
	@cmake --build $(BUILD) --target test_prerequisites
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure --no-tests=error -j $(JOBS)

# The R package's source tarball, $(BUILD)/r-package/propsmooth_$(VERSION).tar.gz,
# assembled from r/ and the library's sources; `R CMD INSTALL` it.
r-package:
	@scripts/r-package $(BUILD)/r-package

# Speed figures; never part of `make test`.
bench:
	sh bench/run.sh

# Bounded libFuzzer runs (FUZZ_SECONDS per target, default 60).
fuzz:
	sh tests/fuzz/run.sh

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package, and the Windows zip where the cross compiler is.
package: build
	cd $(BUILD) && cpack -G DEB
	@if command -v $(MINGW_CXX) >/dev/null 2>&1; then $(MAKE) --no-print-directory package-windows; \
	else echo "make package: no $(MINGW_CXX) (Debian: g++-mingw-w64-x86-64-posix), so no Windows zip"; fi

# $(BUILD)/$(WIN_ZIP).zip: propsmooth.exe, linked statically so that it needs
# no DLL beside it, with the README, the license and the example data in
# one folder.
package-windows:
	@command -v $(MINGW_CXX) >/dev/null 2>&1 || \
	  { echo "package-windows: $(MINGW_CXX) not found (Debian: g++-mingw-w64-x86-64-posix)" >&2; exit 1; }
	@command -v zip >/dev/null 2>&1 || { echo "package-windows: zip not found (Debian: zip)" >&2; exit 1; }
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DPROPSMOOTH_TESTS=OFF -DPROPSMOOTH_REPORT_TOOL=OFF
	cmake --build $(WIN_BUILD) -j $(JOBS) --target propsmooth
	rm -rf $(WIN_BUILD)/zip && mkdir -p $(WIN_BUILD)/zip/$(WIN_ZIP)/examples $(BUILD)
	x86_64-w64-mingw32-strip -o $(WIN_BUILD)/zip/$(WIN_ZIP)/propsmooth.exe $(WIN_BUILD)/propsmooth.exe
	cp README.md LICENSE $(WIN_BUILD)/zip/$(WIN_ZIP)/
	cp examples/*.txt $(WIN_BUILD)/zip/$(WIN_ZIP)/examples/
	rm -f $(BUILD)/$(WIN_ZIP).zip
	cd $(WIN_BUILD)/zip && zip -q -X -r $(abspath $(BUILD))/$(WIN_ZIP).zip $(WIN_ZIP)
	@echo "package-windows: wrote $(BUILD)/$(WIN_ZIP).zip"

clean:
	rm -rf $(BUILD)
