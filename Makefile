# Thin wrapper around CMake; see README.md.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
POLYGLOT_BOOK ?= /usr/share/games/gnuchess/book.bin
WIN_BUILD ?= build-windows
PREFIX ?= /usr/local
VERSION := $(shell sh tools/version.sh)

.PHONY: all build exe match run test test-release test-asan tsan bench-threads perft bench bench-startup bench-throttle book testmode tb-verify tb5 tb-index-check tb-endgames tb5-endgames tb-kppkp bench-compare clean fuzz soak
.PHONY: windows test-windows install install-files uninstall dist

# "make EXE=<path> [CXX=<compiler>]", the way distributed test frameworks
# build an engine: the engine alone, built as "make build" builds it but
# without the tests, copied to <path>. Each compiler gets its own folder.
ifdef EXE
all: exe
else
all: build
endif

# Profile-guided -O3/LTO build (see tools/release_build.sh). PGO=0 builds
# without the training run; NATIVE=1 tunes for this machine's processor.
PGO ?= 1
NATIVE ?= 0
build:
	@PGO=$(PGO) tools/release_build.sh $(BUILD) $(JOBS) -DTAVIK_NATIVE=$(if $(filter 1,$(NATIVE)),ON,OFF)

EXE_BUILD ?= build-exe$(if $(filter default,$(origin CXX)),,-$(notdir $(firstword $(CXX))))
# Profiles are GCC's alone: with clang the training build would be wasted.
EXE_PGO = $(if $(findstring clang,$(CXX)),0,$(PGO))
exe:
	@test -n "$(EXE)" || { echo "usage: make EXE=<path> [CXX=<compiler>]"; exit 2; }
	@PGO=$(EXE_PGO) tools/release_build.sh $(EXE_BUILD) $(JOBS) -DTAVIK_TESTS=OFF \
		-DTAVIK_NATIVE=$(if $(filter 1,$(NATIVE)),ON,OFF) $(if $(filter default,$(origin CXX)),,-DCMAKE_CXX_COMPILER=$(CXX))
	@mkdir -p "$(dir $(EXE))" && cp $(EXE_BUILD)/tavik "$(EXE)"

run: build
	@./$(BUILD)/tavik

test: test-release test-asan tsan

test-release: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTAVIK_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# ThreadSanitizer: the protocol and search end-to-end tests with Threads 4.
TSAN_TESTS = test_threads test_uci test_clean_ends
tsan:
	@cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIK_TSAN=ON -DTAVIK_TESTS=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target tavik tavik-tool
	@for t in $(TSAN_TESTS); do \
	  TAVIK_E2E_THREADS=4 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	    python3 tests/e2e/$$t.py $(CURDIR)/$(TSAN_BUILD)/tavik $(CURDIR)/$(TSAN_BUILD)/tavik-tool || exit 1; \
	done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WIN_BUILD) build-exe* dist

perft: build
	python3 tools/perft_check.py ./$(BUILD)/tavik-tool --deep

bench: build
	./$(BUILD)/tavik-tool bench

bench-startup: build
	python3 tools/bench_startup.py ./$(BUILD)/tavik

# make bench-throttle [NODES=n]: the same searches of n nodes at 100, 50 and 25 % CPU,
# process CPU time against wall time (under a minute and a half when idle).
bench-throttle: build
	python3 tools/bench_throttle.py ./$(BUILD)/tavik --nodes $(or $(NODES),8000000)

# Tavik.book in the repository root (the engine's working directory under
# "make run"), converted from Debian's Polyglot book of master games.
book: build
	@if [ -f $(POLYGLOT_BOOK) ]; then \
	  ./$(BUILD)/tavik-tool book import-polyglot Tavik.book $(POLYGLOT_BOOK); \
	else \
	  echo "No $(POLYGLOT_BOOK): run 'apt-get install gnuchess-book', or make a book from your own games with './$(BUILD)/tavik-tool book build Tavik.book games.pgn'"; \
	fi

# Test mode over the shipped positions; the results can be fed to another build.
testmode: build
	./$(BUILD)/tavik Fen tools/testmode_positions.txt $(BUILD)/testmode-results.txt

# Every 3- and 4-man table generated into $(BUILD)/tb, then proved position by
# position (several minutes; timings and peak memory on stderr).
tb-verify: build
	mkdir -p $(BUILD)/tb
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb generate $(BUILD)/tb --men 4
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb verify $(BUILD)/tb --men 4

# Five-man classes made from the 3- and 4-man files in $(BUILD)/tb, timed,
# then proved (minutes per pawnless class; more with pawns).
TB5_CLASSES ?= krrkr
tb5: build
	mkdir -p $(BUILD)/tb
	./$(BUILD)/tavik-tool tb generate $(BUILD)/tb --men 4
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb generate $(BUILD)/tb $(TB5_CLASSES)
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb verify $(BUILD)/tb $(TB5_CLASSES)

# Every legal placement of every 3- and 4-man class through the index functions.
tb-index-check: build
	./$(BUILD)/unit_tests --gtest_also_run_disabled_tests --gtest_filter='TablebaseIndex.DISABLED_*'

# The engine against generated 3- and 4-man tables, plain and compressed (minutes).
tb-endgames: build
	python3 tests/e2e/test_tablebases.py $(CURDIR)/$(BUILD)/tavik $(CURDIR)/$(BUILD)/tavik-tool --four-men

# The engine plays krpkr endings against finished five-man tables in TB5_DIR
# (krpkr and its successors): a won one converted, a drawn one held (minutes).
tb5-endgames: build
	@test -n "$(TB5_DIR)" || { echo "usage: make tb5-endgames TB5_DIR=<folder with krpkr and its successors>"; exit 2; }
	python3 tests/e2e/test_tablebases.py $(CURDIR)/$(BUILD)/tavik $(CURDIR)/$(BUILD)/tavik-tool --five-men $(TB5_DIR)

# kppkp remade in TB5_DIR (its successors there): its losses too long for a
# byte must be exactly the seven the probe scores by index; then proved.
tb-kppkp: build
	@test -n "$(TB5_DIR)" || { echo "usage: make tb-kppkp TB5_DIR=<folder with kppkp's successors>"; exit 2; }
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb generate $(TB5_DIR) kppkp --force | tee $(BUILD)/kppkp.txt
	test "$$(grep -c "over-long loss.*the probe's fixed score" $(BUILD)/kppkp.txt)" = 7
	! grep -q "NOT among" $(BUILD)/kppkp.txt
	/usr/bin/time -v ./$(BUILD)/tavik-tool tb verify $(TB5_DIR) kppkp

# make bench-threads [DEPTH=11] [MOVETIME=2000]: time to depth with 1 and 2
# threads over the bench positions, nodes/s with 1, 2 and 4 (minutes).
bench-threads: build
	python3 tools/bench_threads.py ./$(BUILD)/tavik --depth $(or $(DEPTH),11) --movetime $(or $(MOVETIME),2000)

# make bench-compare OLD=<git rev> [RUNS=5] [DEPTH=8]: old build against this one.
bench-compare: build
	@test -n "$(OLD)" || { echo "usage: make bench-compare OLD=<git rev> [RUNS=n] [DEPTH=d]"; exit 2; }
	python3 tools/bench_compare.py $(OLD) ./$(BUILD)/tavik-tool --scratch $(BUILD)/bench-compare \
		--runs $(or $(RUNS),5) --depth $(or $(DEPTH),8)

# Windows programs, cross-compiled and statically linked (needs g++-mingw-w64-x86-64).
windows:
	@cmake --no-warn-unused-cli -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_BUILD_TYPE=Release -DTAVIK_TESTS=OFF >/dev/null
	@cmake --build $(WIN_BUILD) -j $(JOBS)

# The protocol tests, perft and the bench signature against the Windows
# programs under Wine (needs wine), the bench beside the Linux build's.
test-windows: windows build
	sh tests/windows/run.sh $(WIN_BUILD) $(BUILD)

# DESTDIR is honoured for packaging.
MAN6 = $(DESTDIR)$(PREFIX)/share/man/man6
install: build
	@$(MAKE) --no-print-directory install-files

install-files:
	install -d $(DESTDIR)$(PREFIX)/bin $(MAN6)
	install -m 755 $(BUILD)/tavik $(BUILD)/tavik-tool $(DESTDIR)$(PREFIX)/bin/
	install -m 644 man/tavik.6 man/tavik-tool.6 $(MAN6)/

uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/tavik $(DESTDIR)$(PREFIX)/bin/tavik-tool
	rm -f $(MAN6)/tavik.6 $(MAN6)/tavik-tool.6

# Release archives in dist/: programs, README, manual pages, test positions.
dist: build windows
	sh tools/make_dist.sh $(VERSION) $(BUILD) $(WIN_BUILD) dist

# libFuzzer targets (clang) in their own build; FUZZ_SECONDS per target.
# New finds go to $(FUZZ_BUILD)/corpus-<target>, crashes to $(FUZZ_BUILD)/crash-*.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = commands fen pgn book polyglot decoder tablefile

fuzz:
	@command -v clang++ >/dev/null || (apt-get update && apt-get install -y clang)
	@cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus-$$t; \
	  echo "== $$t"; \
	  (cd $(FUZZ_BUILD) && ./fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
	    -max_len=16384 -print_final_stats=1 corpus-$$t ../fuzz/corpus/$$t 2>fuzz-$$t.log) \
	    || { tail -40 $(FUZZ_BUILD)/fuzz-$$t.log; exit 1; }; \
	  grep -E "^#[0-9]+ *DONE|stat::number_of_executed_units|stat::average_exec_per_sec" $(FUZZ_BUILD)/fuzz-$$t.log; \
	done

# make match ARGS="...": a local match with tools/match.py; see README.md,
# "Testing changes at scale". The legal-move judge is this build's tavik-tool.
match: build
	python3 tools/match.py --tool ./$(BUILD)/tavik-tool $(ARGS)

# Games through the real binary with UCI noise; SOAK_MINUTES long.
SOAK_MINUTES ?= 10
soak: build
	python3 tools/soak.py ./$(BUILD)/tavik ./$(BUILD)/tavik-tool --minutes $(SOAK_MINUTES)
