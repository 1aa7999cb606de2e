# Thin wrapper around CMake; see README.md.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build run test test-release test-asan perft bench bench-startup bench-compare clean

all: build

# Profile-guided -O3/LTO build (see tools/release_build.sh). PGO=0 builds
# without the training run; NATIVE=1 tunes for this machine's processor.
PGO ?= 1
NATIVE ?= 0
build:
	@PGO=$(PGO) tools/release_build.sh $(BUILD) $(JOBS) -DTAVIK_NATIVE=$(if $(filter 1,$(NATIVE)),ON,OFF)

run: build
	@./$(BUILD)/tavik

test: test-release test-asan

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVIK_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

perft: build
	python3 tools/perft_check.py ./$(BUILD)/tavik-tool --deep

bench: build
	./$(BUILD)/tavik-tool bench

bench-startup: build
	python3 tools/bench_startup.py ./$(BUILD)/tavik

# make bench-compare OLD=<git rev> [RUNS=5] [DEPTH=8]: old build against this one.
bench-compare: build
	@test -n "$(OLD)" || { echo "usage: make bench-compare OLD=<git rev> [RUNS=n] [DEPTH=d]"; exit 2; }
	python3 tools/bench_compare.py $(OLD) ./$(BUILD)/tavik-tool --scratch $(BUILD)/bench-compare \
		--runs $(or $(RUNS),5) --depth $(or $(DEPTH),8)
