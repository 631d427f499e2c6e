# Entry points: `make play` plays one move on the committed example, `make test` builds and
# runs every test in a Release build and in an AddressSanitizer + UBSan build.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
SANITIZE_DIR := build/sanitize
VERIFY_DIR := build/verify

.PHONY: all release sanitize play test test-release test-sanitize verify fuzz bench format format-check \
	clean windows avx2 dist test-windows test-web soak-web tune train spsa

all: release

release:
	cmake -S . -B $(RELEASE_DIR) -DCMAKE_BUILD_TYPE=Release -DPENTAD_TESTS=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS)

sanitize:
	cmake -S . -B $(SANITIZE_DIR) -DCMAKE_BUILD_TYPE=Debug -DPENTAD_SANITIZE=ON
	cmake --build $(SANITIZE_DIR) -j $(JOBS)

play: release
	@rm -rf play && cp -r examples play
	@cd play && ../$(RELEASE_DIR)/pentad; status=$$?; \
	  cd .. && $(RELEASE_DIR)/pentad-tools show play; exit $$status

test-release: release
	cd $(RELEASE_DIR) && ctest --output-on-failure -j $(JOBS)

test-sanitize: sanitize
	cd $(SANITIZE_DIR) && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j $(JOBS)

test: test-release test-sanitize

# The evaluation tuning loop (tools/tune_loop.py): ROUNDS rounds of self-play, a fit of the
# tables (tools/tune_eval.py, Debian's python3-numpy, -scipy, -matplotlib) and an A/B match;
# the tables kept are installed into resources/ and the engine rebuilt. Work in build/tune.
ROUNDS ?= 1
TUNE_ARGS ?=
tune: release
	python3 tools/tune_loop.py --rounds $(ROUNDS) --install $(TUNE_ARGS)

# The network loop (tools/train_loop.py): ROUNDS rounds of self-play with whole game records,
# training (tools/train_network.py, Debian's python3-torch), export and an A/B match; the
# network kept is installed into resources/ with its check positions and bench signature.
# Work in build/train; an interrupted run resumes where it stopped.
TRAIN_ARGS ?=
train: release
	/usr/bin/python3 tools/train_loop.py --rounds $(ROUNDS) --install $(TRAIN_ARGS)

# SPSA over the tournament engine's search constants (tools/spsa.py), matches against itself.
SPSA_ARGS ?=
spsa: release
	python3 tools/spsa.py $(SPSA_ARGS)

# The browser board in Debian's Chromium, driven by Playwright: a few moves against the
# engine, undo, new game, a pasted record, a phone-sized page, a failing engine. Its
# screenshots go to build/web-shots.
test-web: release
	@test -x $(RELEASE_DIR)/pentad-board || { echo "pentad-board was not built: it needs" \
	  "libcpp-httplib-dev and nlohmann-json3-dev"; exit 1; }
	cd tests/web && npm ci --no-audit --no-fund --loglevel=error
	mkdir -p build/web-shots
	node tests/web/board_test.mjs $(RELEASE_DIR)/pentad-board $(RELEASE_DIR)/pbrain-pentad build/web-shots

# The browser soak, not part of `make test`: fast games on the page against the engine with
# random legal clicks (moves, undo, new game, hint, engine move, stop); after every step the
# page must agree with the server's game. SOAK_WEB_ARGS: --games N --seed S --steps-per-game K.
SOAK_WEB_ARGS ?= --games 20
soak-web: release
	@test -x $(RELEASE_DIR)/pentad-board || { echo "pentad-board was not built: it needs" \
	  "libcpp-httplib-dev and nlohmann-json3-dev"; exit 1; }
	cd tests/web && npm ci --no-audit --no-fund --loglevel=error
	node tests/web/board_soak.mjs $(RELEASE_DIR)/pentad-board $(RELEASE_DIR)/pbrain-pentad $(SOAK_WEB_ARGS)

# libFuzzer targets for the exchange-file reader and the pbrain session (the default engine,
# then --classic), built with clang, AddressSanitizer and UBSan; each runs FUZZ_SECONDS from
# the committed seed corpus (the two pbrain targets share theirs).
FUZZ_SECONDS ?= 60
FUZZ_DIR := build/fuzz
fuzz:
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++ \
	  -DPENTAD_FUZZ=ON -DPENTAD_TESTS=OFF -DPENTAD_BENCHMARKS=OFF
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz-exchange fuzz-pbrain fuzz-pbrain-classic
	for t in exchange pbrain pbrain-classic; do mkdir -p $(FUZZ_DIR)/corpus-$$t && \
	  $(FUZZ_DIR)/fuzz-$$t -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	    $(FUZZ_DIR)/corpus-$$t tests/fuzz/corpus/$${t%-classic} || exit 1; done

# A checking build that recomputes the whole position after every placement and removal,
# run over the first root search of every bench position.
verify:
	cmake -S . -B $(VERIFY_DIR) -DCMAKE_BUILD_TYPE=Release -DPENTAD_VERIFY=ON -DPENTAD_TESTS=OFF \
	  -DPENTAD_BENCHMARKS=OFF
	cmake --build $(VERIFY_DIR) -j $(JOBS) --target pentad-tools
	$(VERIFY_DIR)/pentad-tools bench --iterations 1

# Windows executables, cross-compiled and statically linked: 64-bit pentad, pbrain-pentad
# and pentad-tools into dist/win64 (with pbrain-pentad-avx2.exe, built for processors with
# AVX2), 32-bit pentad and pbrain-pentad into dist/win32.
WINDOWS_OPTIONS := -DCMAKE_BUILD_TYPE=Release -DPENTAD_TESTS=OFF -DPENTAD_BENCHMARKS=OFF
windows:
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake $(WINDOWS_OPTIONS)
	cmake --build build/win64 -j $(JOBS)
	cmake -S . -B build/win64-avx2 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	  -DPENTAD_AVX2=ON $(WINDOWS_OPTIONS)
	cmake --build build/win64-avx2 -j $(JOBS) --target pbrain-pentad
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake $(WINDOWS_OPTIONS)
	cmake --build build/win32 -j $(JOBS) --target pentad pbrain-pentad
	mkdir -p dist/win64 dist/win32
	cp build/win64/pentad.exe build/win64/pbrain-pentad.exe build/win64/pentad-tools.exe dist/win64/
	cp build/win64-avx2/pbrain-pentad.exe dist/win64/pbrain-pentad-avx2.exe
	cp build/win32/pentad.exe build/win32/pbrain-pentad.exe dist/win32/

# The Linux pbrain-pentad for processors with AVX2, for the Linux archive.
avx2:
	cmake -S . -B build/avx2 -DCMAKE_BUILD_TYPE=Release -DPENTAD_AVX2=ON -DPENTAD_TESTS=OFF \
	  -DPENTAD_BENCHMARKS=OFF
	cmake --build build/avx2 -j $(JOBS) --target pbrain-pentad

# Release archives in dist/: the Windows zip and the Linux tarball, named by the version.
VERSION := $(shell cat VERSION)
dist: windows release avx2
	python3 tools/dist/make_dist.py --version $(VERSION) --win64 dist/win64 --win32 dist/win32 \
	  --linux $(RELEASE_DIR) --linux-avx2 build/avx2 --out dist

# The end-to-end exchange-file and pbrain tests, run against the 64-bit executables under
# wine; the resource check reads the resource directory of every executable. The prefix is
# set up first and one wine server is kept for the whole run, so no engine start races a
# server that is shutting down.
WINE ?= wine
WINE_ENV := WINEPREFIX=$(CURDIR)/build/wineprefix WINEDEBUG=-all
# WINDOWS_32=0 leaves the 32-bit executables unrun (for a machine without wine32).
WINDOWS_32 ?= 1
WINE_WARMUP := $(if $(filter 0,$(WINDOWS_32)),win64/pentad.exe,win32/pentad.exe win64/pentad.exe)
DIST_SKIP := $(if $(filter 0,$(WINDOWS_32)),--skip pentad.exe --skip pbrain-pentad.exe,)
test-windows: dist
	python3 tests/windows/check_resources.py dist/win64/*.exe dist/win32/*.exe
	python3 tests/dist/check_dist.py dist/pentad-$(VERSION)-linux-x86_64.tar.gz
	$(WINE_ENV) wineboot -i >/dev/null 2>&1 || true
	$(WINE_ENV) wineserver -k 2>/dev/null || true
	$(WINE_ENV) wineserver -p || true
	@# The first 32-bit program of a fresh prefix may hang when its input and output are
	@# pipes; one start of each kind without pipes sets the prefix up.
	mkdir -p build/wine-warmup
	cd build/wine-warmup && for exe in $(WINE_WARMUP); do \
	  $(WINE_ENV) timeout 120 $(WINE) $(CURDIR)/dist/$$exe < /dev/null > /dev/null 2>&1 || true; done
	$(WINE_ENV) python3 tests/dist/check_dist.py --wine $(WINE) $(DIST_SKIP) dist/pentad-$(VERSION)-windows.zip
	$(WINE_ENV) PENTAD_ENGINE_COMMAND="$(WINE) $(CURDIR)/dist/win64/pentad.exe" \
	  PENTAD_PBRAIN_COMMAND="$(WINE) $(CURDIR)/dist/win64/pbrain-pentad.exe" \
	  $(RELEASE_DIR)/tests/pentad_tests \
	  --gtest_filter='DriverEndToEnd.*:EngineEndToEnd.*:BookEndToEnd.*:Pbrain.*' && \
	  if [ "$(WINDOWS_32)" = 0 ]; then echo "32-bit Windows executables not run"; else \
	  $(WINE_ENV) PENTAD_ENGINE_COMMAND="$(WINE) $(CURDIR)/dist/win32/pentad.exe" \
	  PENTAD_PBRAIN_COMMAND="$(WINE) $(CURDIR)/dist/win32/pbrain-pentad.exe" \
	  $(RELEASE_DIR)/tests/pentad_tests --gtest_filter='DriverEndToEnd.*:Pbrain.*'; fi; \
	  status=$$?; $(WINE_ENV) wineserver -k; exit $$status

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build play dist
