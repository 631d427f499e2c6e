# Entry points: `make play` plays one move on the committed example, `make test` builds and
# runs every test in a Release build and in an AddressSanitizer + UBSan build.
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
RELEASE_DIR := build/release
SANITIZE_DIR := build/sanitize

.PHONY: all release sanitize play test test-release test-sanitize bench format format-check clean

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

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build play
