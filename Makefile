# Two commands for a newcomer: `make run` and `make test`. Both install what is
# missing first.
BUILD    ?= build
SANBUILD ?= build-asan
TSANBUILD ?= build-tsan
JOBS     ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run test test-main test-asan test-tsan bench screenshots demo package format format-check clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and the libraries it links: no tests, no benchmarks.
run: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target keelwatch
	@scripts/run-keelwatch $(BUILD)/src/app/keelwatch $(ARGS)

# What CI runs: formatting first (it takes seconds), then every build with
# warnings as errors.
test: deps format-check test-main test-asan test-tsan

test-main: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DKEELWATCH_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Memory and undefined-behaviour faults fail the run; the headless libraries
# are enough to catch them and keep the run short.
test-asan: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DKEELWATCH_GUI=OFF -DKEELWATCH_SANITIZE=address,undefined -DKEELWATCH_WERROR=ON
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) -L 'sanitize|threads'

test-tsan: deps
	cmake -S . -B $(TSANBUILD) -DCMAKE_BUILD_TYPE=Debug -DKEELWATCH_GUI=OFF -DKEELWATCH_SANITIZE=thread -DKEELWATCH_WERROR=ON
	cmake --build $(TSANBUILD) -j $(JOBS)
	cd $(TSANBUILD) && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" ctest --output-on-failure -j $(JOBS) -L threads

bench: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DKEELWATCH_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
	scripts/run-benchmarks $(BUILD)

# Keelwatch scanning a lab segment of network namespaces (root, or sudo):
# the program and its capture helper only, no tests.
demo: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target keelwatch keelwatch-capture
	@scripts/demo $(BUILD)

# Debian packages in $(BUILD)/packages/: keelwatch, keelwatch-capture (the
# capture helper both programs use) and keelwatch-sensor.
package: build
	cd $(BUILD) && cpack -G DEB -B packages

screenshots: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target keelwatch_screenshots
	QT_SCALE_FACTOR=1 $(BUILD)/src/app/keelwatch_screenshots $(BUILD)/screenshots/scale1
	QT_SCALE_FACTOR=2 $(BUILD)/src/app/keelwatch_screenshots $(BUILD)/screenshots/scale2
	QT_SCALE_FACTOR=1 $(BUILD)/src/app/keelwatch_screenshots $(BUILD)/screenshots/dark dark
	QT_SCALE_FACTOR=2 $(BUILD)/src/app/keelwatch_screenshots $(BUILD)/screenshots/dark2 dark

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Fails listing every tracked source that `make format` would change.
format-check:
	@scripts/format-check

clean:
	rm -rf $(BUILD) $(SANBUILD) $(TSANBUILD)

# Fuzzing: libFuzzer targets over the readers of files, settings, captured
# frames and address texts, built with clang, ASan and UBSan. `make test`
# runs each for FUZZ_TEST_SECONDS; `make fuzz` for FUZZ_SECONDS
# (FUZZ_TARGETS picks some, e.g. FUZZ_TARGETS="comments nodelist").
FUZZBUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TEST_SECONDS ?= 15
FUZZ_TARGETS ?=

.PHONY: fuzz-build fuzz test-fuzz

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKEELWATCH_GUI=OFF -DKEELWATCH_TESTS=OFF -DKEELWATCH_FUZZ=ON \
	  -DKEELWATCH_SANITIZE=address,undefined
	cmake --build $(FUZZBUILD) -j $(JOBS)

fuzz: fuzz-build
	scripts/run-fuzz $(FUZZBUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

test-fuzz: fuzz-build
	scripts/run-fuzz $(FUZZBUILD) $(FUZZ_TEST_SECONDS) $(FUZZ_TARGETS)

test: test-fuzz
