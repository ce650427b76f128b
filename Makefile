# make demo  - install what is missing, build, run Sitelore on the bundled sample cache
# make test  - install what is missing, build, run every test
# make bench - build in release mode and print the benchmark table
# make asan  - build and test under AddressSanitizer + UndefinedBehaviorSanitizer
# make deb   - build and make the Debian package build/sitelore_VERSION_ARCH.deb
# make fuzz  - build the index.dat fuzzer with clang and run it for ten minutes

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=
ifdef CI
CMAKE_FLAGS += -DSITELORE_WERROR=ON
endif

.PHONY: all setup configure build test demo deb bench asan fuzz format clean

all: build

setup:
	@scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	@scripts/demo $(BUILD)

deb: build
	@cd $(BUILD) && cpack -G DEB

asan: setup
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSITELORE_SANITIZE=ON \
	  -DSITELORE_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: setup
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
	  $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@scripts/bench $(BENCH_BUILD)

fuzz: setup
	@scripts/fuzz

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
