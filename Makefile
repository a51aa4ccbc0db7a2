# The two commands of the README: `make run` and `make test`.
BUILD      ?= build
BUILD_ASAN ?= build-asan
JOBS       ?= 2
CMAKE_GEN   = -G Ninja

.PHONY: all bootstrap build build-asan run test bench install clean fuzz package

all: build

build:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

build-asan:
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTIKORA_SANITIZE=ON -DTIKORA_BUILD_BENCH=OFF
	cmake --build $(BUILD_ASAN) -j $(JOBS)

run: bootstrap build
	@bash scripts/run.sh $(BUILD)

bootstrap:
	@bash scripts/bootstrap.sh

test: bootstrap build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j 2
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(BUILD_ASAN) --output-on-failure -j 2
	bash tests/fuzz/run.sh 10

# Each fuzz target (settings file, NTP replies) for a minute; what it finds that is new joins its corpus.
fuzz: bootstrap
	bash tests/fuzz/run.sh 60 merge

bench: bootstrap build
	@bash bench/run_all.sh $(BUILD)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(BUILD_ASAN) build-fuzz

# The Debian package: build/tikora_<version>_<arch>.deb.
package: build
	cmake --build $(BUILD) --target package
