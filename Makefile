# make test: installs what is missing, builds for Linux and for 32-bit and
# 64-bit Windows (with gcc, and with clang for a second compiler's
# warnings), and runs every test tier (native, fuzzers briefly, then
# Windows under Wine and Xvfb for each gcc build this machine can run).
# Warnings are errors in every build made here.
MAKEFLAGS += --no-print-directory
HOST_BUILD := build/host
WIN_BUILD := build/win
WIN64_BUILD := build/win64
WIN_CLANG_BUILD := build/win-clang
WIN64_CLANG_BUILD := build/win64-clang
FUZZ_BUILD := build/fuzz
CONFIGURE := cmake --no-warn-unused-cli -DORVANE_WERROR=ON
JOBS := $(shell nproc)
# The Windows build that bench and demo run: the 32-bit product where this
# machine runs 32-bit programs, else the 64-bit build.
ARCH = $(shell scripts/win-archs 2>/dev/null | head -n1)

.PHONY: setup build dist test bench demo clean

setup:
	@scripts/setup.sh

build: setup
	$(CONFIGURE) -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(HOST_BUILD) -j $(JOBS)
	$(CONFIGURE) -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)
	$(CONFIGURE) -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	rm -rf $(WIN_BUILD)/dist/x64 && cp -r $(WIN64_BUILD)/dist $(WIN_BUILD)/dist/x64
	$(CONFIGURE) -S . -B $(WIN_CLANG_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN_CLANG_BUILD) -j $(JOBS)
	$(CONFIGURE) -S . -B $(WIN64_CLANG_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN64_CLANG_BUILD) -j $(JOBS)
	CC=clang CXX=clang++ $(CONFIGURE) -S . -B $(FUZZ_BUILD) -DORVANE_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

# The installers, one per Windows build, side by side.
dist: build
	mkdir -p build/dist
	cp $(WIN_BUILD)/Orvane_Keyboard_Setup.exe $(WIN64_BUILD)/Orvane_Keyboard_Setup_x64.exe build/dist/

test: dist
	ctest --test-dir $(HOST_BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)
	scripts/test-windows

# Measures speed, idle cost and memory against baselines, runs the fuzzers
# longer, and writes docs/benchmarks.md.
bench: build
	rm -rf build/bench-screen && mkdir -p build/bench-screen
	XVFB_FBDIR=$(CURDIR)/build/bench-screen scripts/with-display python3 scripts/bench.py

# Plays a session with the simulation build and the virtual keyboard; the log,
# the feature reports and the OSD screenshots go to build/demo/. A Wine prefix
# of its own, as its display is: a test run at the same time keeps its
# utility instance, keyboard pipes, log and Wine server.
demo: build
	ORVANE_ARCH=$(ARCH) WINEPREFIX=$(CURDIR)/build/wineprefix-demo-$(ARCH) \
	  scripts/with-display /usr/bin/python3 scripts/demo.py

clean:
	rm -rf build
