# The two commands of the README, and a few for developers.
SHELL := /bin/bash
PRESETS_TESTED := native native-tsan win32 fuzz
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: run test deps build bench fuzz lint format clean screenshot

deps:
	@scripts/install-deps

# Build the Windows program and start it under Wine here, so Morvi.ini lands in this folder.
run: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target Morvi
	@if [[ ! -f build/win32/Morvi.exe ]]; then echo "Morvi.exe is not built yet"; exit 1; fi
	scripts/wine-run build/win32/Morvi.exe

# Every preset built, every test run through ctest.
test: deps
	@set -e; for p in $(PRESETS_TESTED); do \
	  echo "== $$p"; \
	  cmake --preset $$p >/dev/null; \
	  cmake --build --preset $$p; \
	  ctest --preset $$p; \
	done

build: deps
	@set -e; for p in $(PRESETS_TESTED); do cmake --preset $$p >/dev/null; cmake --build --preset $$p; done

# The engine's benchmarks natively, then the program's cost under Wine.
bench: deps
	cmake --preset bench >/dev/null
	cmake --build --preset bench
	build/bench/bench/core_bench
	cmake --preset win32 >/dev/null
	cmake --build --preset win32 --target cost_bench
	i686-w64-mingw32-strip -o build/win32/Morvi-stripped.exe build/win32/Morvi.exe
	i686-w64-mingw32-strip -o build/win32/baseline-stripped.exe build/win32/bench/win32/baseline_window.exe
	scripts/wine-run build/win32/bench/win32/cost_bench.exe build/win32/Morvi.exe \
	  build/win32/bench/win32/baseline_window.exe build/win32/Morvi-stripped.exe build/win32/baseline-stripped.exe

# A longer fuzz run than the one `make test` makes.
fuzz: deps
	cmake --preset fuzz -DMORVI_FUZZ_SECONDS=600 >/dev/null
	cmake --build --preset fuzz
	ctest --preset fuzz

# The README's picture, taken by the display test under Xvfb.
screenshot: deps
	cmake --preset win32 >/dev/null
	cmake --build --preset win32
	cd build/win32 && ctest -L display --output-on-failure
	convert build/win32/morvi-window.bmp -scale 200% docs/morvi-window.png

lint:
	clang-format --dry-run --Werror $(SOURCES)
	cppcheck --quiet --error-exitcode=1 --std=c++20 --language=c++ --inline-suppr \
	  --enable=warning,performance,portability --suppress=missingIncludeSystem \
	  -I engine -I settings -I input -I ui engine settings input ui

format:
	clang-format -i $(SOURCES)

clean:
	rm -rf build
