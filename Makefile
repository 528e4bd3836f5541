# The two commands of the README, and a few for developers.
SHELL := /bin/bash
PRESETS_TESTED := native native-tsan win64 fuzz win32
# The Windows build that runs here: the 32-bit product where the machine runs
# 32-bit programs, else the same sources built for 64 bits.
WIN = $(shell scripts/runs-32bit && echo win32 || echo win64)
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: run test deps build bench fuzz lint format clean screenshot dist has-display

deps:
	@scripts/install-deps

# Before anything is installed: Morvi's window needs a screen.
has-display:
	@if [[ -z $${DISPLAY:-} && $$(uname -s) != MINGW* && $$(uname -s) != MSYS* ]]; then \
	  echo "make run: no display (DISPLAY is not set), so Morvi's window could not be seen"; exit 1; fi

# The locale Morvi runs in under Wine: Japanese, as on a Japanese Windows;
# `make run LOCALE=en_US.UTF-8` shows the English interface.
LOCALE ?= ja_JP.UTF-8

# Build the Windows program and start it under Wine here, so Morvi.ini lands in this folder.
run: has-display deps
	cmake --preset $(WIN) >/dev/null
	cmake --build --preset $(WIN) --target Morvi
	@if [[ ! -f build/$(WIN)/Morvi.exe ]]; then echo "Morvi.exe is not built yet"; exit 1; fi
	MORVI_WINE_LOCALE=$(LOCALE) MORVI_WINEPREFIX=$(CURDIR)/build/$(WIN)/wineprefix-run-$(LOCALE) \
	  scripts/wine-run build/$(WIN)/Morvi.exe

# Every preset built, every test run through ctest (scripts/test).
test: deps
	@scripts/test

build: deps
	@set -e; for p in $(PRESETS_TESTED); do cmake --preset $$p >/dev/null; cmake --build --preset $$p; done

STRIP = $(if $(filter win32,$(WIN)),i686,x86_64)-w64-mingw32-strip

# The release the cost benchmark compares this build with, in the same run.
BEFORE = acbb903

# The engine's benchmarks natively, then the program's cost under Wine, on a
# screen (the display's second is read from it), beside the release before.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/core_bench
	cmake --preset $(WIN) >/dev/null
	cmake --build --preset $(WIN) --target cost_bench press_bench
	$(STRIP) -o build/$(WIN)/Morvi-stripped.exe build/$(WIN)/Morvi.exe
	$(STRIP) -o build/$(WIN)/baseline-stripped.exe build/$(WIN)/bench/win32/baseline_window.exe
	before=$$(scripts/build-before $(BEFORE) $(WIN)); \
	MORVI_WINEPREFIX=$(CURDIR)/build/$(WIN)/wineprefix-bench scripts/with-display scripts/wine-run \
	  build/$(WIN)/bench/win32/cost_bench.exe build/$(WIN)/Morvi.exe \
	  build/$(WIN)/bench/win32/baseline_window.exe build/$(WIN)/Morvi-stripped.exe build/$(WIN)/baseline-stripped.exe \
	  $$before
	MORVI_WINEPREFIX=$(CURDIR)/build/$(WIN)/wineprefix-bench scripts/with-display scripts/wine-run \
	  build/$(WIN)/bench/win32/press_bench.exe

# A ten-minute fuzz run, longer than the one `make test` makes through ctest.
FUZZ_DIR = build/fuzz/tests/fuzz
fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz
	mkdir -p $(FUZZ_DIR)/corpus
	$(FUZZ_DIR)/settings_fuzz -max_total_time=600 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	  $(FUZZ_DIR)/corpus tests/fuzz/corpus

# The README's picture, taken by the display test under Xvfb.
screenshot: deps
	cmake --preset $(WIN) >/dev/null
	cmake --build --preset $(WIN)
	cd build/$(WIN) && ctest -R display_tests --output-on-failure
	convert build/$(WIN)/morvi-window.bmp -scale 200% docs/morvi-window.png

# The release for Windows users: dist/Morvi-<version>-win32.zip.
dist: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target dist

lint:
	clang-format --dry-run --Werror $(SOURCES)
	cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --inline-suppr \
	  --enable=warning,performance,portability --suppress=missingIncludeSystem \
	  -I . engine settings platform input ui

format:
	clang-format -i $(SOURCES)

clean:
	rm -rf build dist
