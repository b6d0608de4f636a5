# Lumivue — the commands a developer types. Everything builds with CMake presets (see
# CMakePresets.json); the first run installs missing Debian packages through scripts/install-deps.sh.

.PHONY: all deps configure build run test bench asan tsan fuzz format format-check tidy clean deb deb-arm64 arm64-deps test-arm64

BUILD_DIR := build
CMAKE_STAMP := $(BUILD_DIR)/build.ninja

all: build

deps:
	@./scripts/install-deps.sh

$(CMAKE_STAMP): | deps
	cmake --preset release

configure: deps
	cmake --preset release

build: deps $(CMAKE_STAMP)
	cmake --build --preset release

# Runs the app: windowed where a display exists, otherwise headless with a screenshot.
run: build
	@./scripts/run-app.sh

# The real-camera tests run against a private PipeWire, the collector's against a private
# PostgreSQL, both started for the run (scripts/with-pipewire.sh, scripts/with-postgresql.sh).
test: build
	./scripts/with-postgresql.sh ./scripts/with-pipewire.sh ctest --preset release

bench: build
	@./scripts/run-bench.sh

# The Debian package of the release build, in build/ (install with apt install ./build/lumivue_*.deb).
deb: build
	cd $(BUILD_DIR) && cpack -G DEB

# The arm64 package of the cross build (build-arm64/lumivue_<version>_arm64.deb); make test-arm64
# builds what it packs.
deb-arm64: arm64-deps
	@./scripts/test-arm64.sh -R packaging
	cd build-arm64 && cpack -G DEB

# Cross-builds everything for arm64 into build-arm64 and runs the suite there under qemu-aarch64
# (about 40 minutes on two cores; see README). Not part of `make test`.
arm64-deps: deps
	@./scripts/install-arm64-deps.sh

test-arm64: arm64-deps
	@./scripts/test-arm64.sh

asan: deps
	cmake --preset asan
	cmake --build --preset asan
	./scripts/with-postgresql.sh ./scripts/with-pipewire.sh ctest --preset asan

tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	./scripts/with-postgresql.sh ./scripts/with-pipewire.sh ctest --preset tsan

# libFuzzer harnesses (clang, build-fuzz/): each runs FUZZ_SECONDS (default 60); see docs/fuzzing.md.
FUZZ_SECONDS ?= 60
fuzz: deps
	FUZZ_SECONDS=$(FUZZ_SECONDS) ./scripts/run-fuzz.sh

# Every C++ file follows .clang-format; CI runs format-check and fails on the first file that drifts.
FORMAT_FILES = git ls-files -- '*.cpp' '*.h'

format: deps
	$(FORMAT_FILES) | xargs clang-format -i

format-check: deps
	$(FORMAT_FILES) | xargs clang-format --dry-run -Werror

# clang-tidy with .clang-tidy over every translation unit of src, tools, tests, bench and fuzz; fails
# on any finding. Needs a configured build tree only (about 25 CPU-minutes on the whole; narrow it
# with TIDY_FILES='src/imaging/ Album', regexes on the path). Installs clang-tidy when missing.
TIDY_FILES ?=

tidy: $(CMAKE_STAMP)
	@./scripts/install-deps.sh tidy
	@./scripts/run-tidy.sh $(TIDY_FILES)

clean:
	rm -rf build build-debug build-asan build-tsan build-arm64 build-fuzz
