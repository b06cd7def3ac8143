# make run   - set up, build, and start the package on an example
# make test  - set up, build, and run every test (and again in a sanitizer build)
# make package - the unpacked package in build/package, tarred as build/Kravenor.tar.gz
# make bench - the benchmarks;  make fuzz - the fuzz targets, time-bounded
#   (FUZZ_SECONDS each; FUZZ_TARGETS="a b" runs only fuzz_a and fuzz_b)

JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
BENCH_BUILD ?= build-bench
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?=
CMAKE_GEN := -G Ninja

.PHONY: deps build run package test test-main test-asan bench fuzz clean

deps:
	@sh tools/install-deps.sh

# The tests build with warnings as errors; `make run` and `make package`
# build the same folder without, so a new compiler's warning cannot stop them.
CONFIGURE_MAIN := cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps
	$(CONFIGURE_MAIN) -DKRV_WERROR=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	sh tools/run-example.sh $(BUILD)

# Flat, as a user unpacks it into a directory of their choice.
package: build
	cd $(BUILD)/package && tar -czf ../Kravenor.tar.gz *
	@echo "$(BUILD)/Kravenor.tar.gz: unpack it into a new directory and run ./setup there"

test: test-main test-asan

test-main: deps
	$(CONFIGURE_MAIN) -DKRV_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DKRV_WITH_QT=ON -DKRV_SANITIZE=ON -DKRV_WERROR=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS) --timeout 600

bench:
	@sh tools/install-deps.sh bench
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DKRV_WITH_QT=ON -DKRV_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	sh tools/run-bench.sh $(BENCH_BUILD)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRV_WITH_QT=OFF -DKRV_FUZZ=ON -DKRV_BENCH=OFF \
	  -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	sh tools/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
