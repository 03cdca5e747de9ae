# make test: installs what is missing, builds for Linux and for Windows, and
# runs every test tier (native, fuzzers briefly, then Windows under Wine and
# Xvfb).
MAKEFLAGS += --no-print-directory
HOST_BUILD := build/host
WIN_BUILD := build/win
FUZZ_BUILD := build/fuzz
JOBS := $(shell nproc)

.PHONY: setup build test bench demo clean

setup:
	@scripts/setup.sh

build: setup
	cmake -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=Debug >/dev/null
	cmake --build $(HOST_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN_BUILD) --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build $(WIN_BUILD) -j $(JOBS)
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DORVANE_FUZZ=ON >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(HOST_BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)
	scripts/with-display ctest --test-dir $(WIN_BUILD) --output-on-failure -j $(JOBS)

# Measures speed, idle cost and memory against baselines, runs the fuzzers
# longer, and writes docs/benchmarks.md.
bench: build
	scripts/with-display python3 scripts/bench.py

# Plays a session with the simulation build and the virtual keyboard; the log,
# the feature reports and the OSD screenshots go to build/demo/. A Wine prefix
# of its own, as its display is: a test run at the same time keeps its
# utility instance, keyboard pipes, log and Wine server.
demo: build
	WINEPREFIX=$(CURDIR)/build/wineprefix-demo scripts/with-display /usr/bin/python3 scripts/demo.py

clean:
	rm -rf build
