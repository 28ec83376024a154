# Thin wrapper around CMake so that nobody needs to know CMake to build, run or test Penvex.
JOBS ?= 2
BUILD := build
ARGS ?=

.PHONY: all configure build run test asan fuzz fuzz-ci bench install deps clean

all: build

# The program alone: tests and benchmarks are built by `make test` and `make bench`.
configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS) --target penvex

run: build
	@tools/make-run.sh $(BUILD)/penvex $(ARGS)

deps:
	@tools/ensure-deps.sh

test: deps configure
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPENVEX_SANITIZE=ON > /dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

fuzz:
	@tools/ensure-deps.sh fuzz
	@CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENVEX_FUZZ=ON > /dev/null
	@cmake --build build-fuzz -j $(JOBS)
	@tools/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

# Every fuzz target for about 30 seconds: the short run that CI makes after the sanitizer suite.
fuzz-ci:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30

bench:
	@tools/ensure-deps.sh bench
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) -j $(JOBS)
	@bench/run.sh $(BUILD)

install: build
	@cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX),)

clean:
	rm -rf $(BUILD) build-asan build-fuzz
