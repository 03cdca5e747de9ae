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

.PHONY: setup build dist test test-x64-only bench bench-update demo reproducible clean

# $(call tree,FOLDER,CMAKE-OPTIONS[,TARGETS]): configures a build tree and
# builds the targets named (all of them when none is).
tree = $(CONFIGURE) -S . -B $(1) $(2) >/dev/null && cmake --build $(1) -j $(JOBS) $(if $(3),--target $(3))
WIN_OPTIONS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
WIN64_OPTIONS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
# What the demo plays: the simulation build, the virtual keyboard (drivers,
# installer, program), the command sender and the skins.
DEMO_TARGETS := Orvane_Keyboard_Hid_sim orvane_vkbd orvane_post vhid_package osd_art
DEMO_BUILD = $(if $(filter x64,$(ARCH)),$(WIN64_BUILD),$(WIN_BUILD))
DEMO_OPTIONS = $(if $(filter x64,$(ARCH)),$(WIN64_OPTIONS),$(WIN_OPTIONS))
# Release files are dated by the commit, not by the clock (the signing time).
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)

setup:
	@scripts/setup.sh

build: setup
	$(call tree,$(HOST_BUILD),-DCMAKE_BUILD_TYPE=Debug)
	$(call tree,$(WIN_BUILD),$(WIN_OPTIONS))
	$(call tree,$(WIN64_BUILD),$(WIN64_OPTIONS))
	rm -rf $(WIN_BUILD)/dist/x64 && cp -r $(WIN64_BUILD)/dist $(WIN_BUILD)/dist/x64
	$(call tree,$(WIN_CLANG_BUILD),-DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release)
	$(call tree,$(WIN64_CLANG_BUILD),-DCMAKE_TOOLCHAIN_FILE=cmake/clang-mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release)
	CC=clang CXX=clang++ $(call tree,$(FUZZ_BUILD),-DORVANE_FUZZ=ON)

# The installers, a setup and a Windows Installer package per Windows build,
# side by side, with their checksums and the winget manifest of the packages;
# signed (scripts/sign-pe) when ORVANE_SIGN_PFX names a certificate. The
# signed files are made anew each time, as the certificate may have changed.
dist: setup
	@if [ -n "$$ORVANE_SIGN_PFX" ]; then echo "dist: signing with $$ORVANE_SIGN_PFX"; \
	  else echo "dist: unsigned (set ORVANE_SIGN_PFX and ORVANE_SIGN_PASSWORD_FILE to sign)"; fi
	rm -f $(foreach t,$(WIN_BUILD) $(WIN64_BUILD),$(t)/Orvane_Keyboard_Setup*.exe $(t)/Orvane_Keyboard*.msi $(t)/dist/Orvane_Keyboard_Hid.exe $(t)/dist/orvane_probe.exe $(t)/dist/orvane_post.exe $(t)/carried/orvane_logon_task.exe $(t)/carried/orvane_package_actions.dll)
	$(call tree,$(WIN_BUILD),$(WIN_OPTIONS),installer)
	$(call tree,$(WIN64_BUILD),$(WIN64_OPTIONS),installer)
	rm -rf $(WIN_BUILD)/dist/x64 && cp -r $(WIN64_BUILD)/dist $(WIN_BUILD)/dist/x64
	rm -rf build/dist && mkdir -p build/dist
	cp $(WIN_BUILD)/Orvane_Keyboard_Setup.exe $(WIN64_BUILD)/Orvane_Keyboard_Setup_x64.exe \
	  $(WIN_BUILD)/Orvane_Keyboard.msi $(WIN64_BUILD)/Orvane_Keyboard_x64.msi build/dist/
	cd build/dist && sha256sum Orvane_Keyboard_Setup.exe Orvane_Keyboard_Setup_x64.exe \
	  Orvane_Keyboard.msi Orvane_Keyboard_x64.msi >SHA256SUMS
	python3 scripts/winget-manifest build/dist

test: build dist
	tests/docs/check
	ctest --test-dir $(HOST_BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(FUZZ_BUILD) --output-on-failure -j $(JOBS)
	scripts/test-windows
	scripts/reproducible
	tests/release/signing
	tests/release/winget build/dist
	tests/release/packages build/dist

# The Windows tier as on a machine that runs no 32-bit code, whatever this
# one runs: Wine's 32-bit half hidden, a prefix of its own (needs root where
# that half is installed). Run it before a change to the packages lands.
test-x64-only: build dist
	scripts/without-wine32 scripts/test-windows

# Two clean builds of the commit, compared file by file (also part of test).
reproducible: setup
	scripts/reproducible

# Measures speed, idle cost and memory against baselines, runs the fuzzers
# longer, and writes build/bench/benchmarks.md; bench-update then makes it
# the tracked docs/benchmarks.md.
bench: build
	rm -rf build/bench-screen && mkdir -p build/bench-screen
	XVFB_FBDIR=$(CURDIR)/build/bench-screen scripts/with-display python3 scripts/bench.py

bench-update: bench
	cp build/bench/benchmarks.md docs/benchmarks.md

# Plays a session with the simulation build and the virtual keyboard; the log,
# the feature reports and the OSD screenshots go to build/demo/. A Wine prefix
# of its own, as its display is: a test run at the same time keeps its
# utility instance, virtual keyboard, log and Wine server.
demo: setup
	$(call tree,$(DEMO_BUILD),$(DEMO_OPTIONS),$(DEMO_TARGETS))
	ORVANE_ARCH=$(ARCH) WINEPREFIX=$(CURDIR)/build/wineprefix-demo-$(ARCH) \
	  scripts/with-display /usr/bin/python3 scripts/demo.py

clean:
	rm -rf build
