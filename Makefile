# Thin wrapper around CMake and CTest. `make run` and `make test` do all the set-up on Debian 12.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps configure build run test bench clean format

all: build

deps:
	scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/quillbay

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: configure
	cmake --build $(BUILD) --target benches -j $(JOBS)
	@set -e; for b in $(BUILD)/bench_*; do [ -x "$$b" ] || continue; echo "== $$b"; "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
