# Thin wrapper around CMake and CTest. `make run` and `make test` do all the set-up on Debian 12.
BUILD ?= build
SAN_BUILD ?= $(BUILD)-asan
JOBS ?= $(shell nproc)
# ccache, where a developer has it, makes rebuilds after a branch switch cheap; CI does without.
LAUNCHER := $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)
# The second build of `make test`: the unit and widgets layers under AddressSanitizer and UBSan.
SAN_FLAGS ?= -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DQUILLBAY_SANITIZE=ON \
	-DQUILLBAY_LINT=OFF "-DQUILLBAY_TEST_LAYERS=unit;widgets" $(LAUNCHER)
# lld links the ~150 test programs several times faster than the default linker; read when CMake runs, so
# that a first `make test` that has just installed it uses it too.
LINKER = $$(command -v ld.lld >/dev/null && echo -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
	-DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)
SAN_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=0:strict_string_checks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

.PHONY: all deps configure build program run test test-main test-sanitize bench clean format install

all: build

deps:
	scripts/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(LINKER)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only the program and the modules and helpers it loads: the tests, benchmarks and fuzzers wait for `make test`.
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target quillbay_program

run: program
	$(BUILD)/quillbay

# Every layer with warnings as errors and the source checks, then the sanitizer lane.
test: test-main test-sanitize

test-main: deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(LINKER) -DQUILLBAY_WERROR=ON
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Builds only the tests of its layers and what they start: the program, the web service and the fuzzers are
# built (and checked) by the first lane.
test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja $(SAN_FLAGS) $(LINKER) -DQUILLBAY_WERROR=ON
	cmake --build $(SAN_BUILD) -j $(JOBS) --target quillbay_tests
	$(SAN_ENV) ctest --test-dir $(SAN_BUILD) --output-on-failure -j $(JOBS)

bench: configure
	cmake --build $(BUILD) --target benches -j $(JOBS)
	scripts/run-benches $(BUILD) --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# A self-contained, user-writable install folder (the only kind an update replaces) and its desktop entry.
PREFIX ?= $(HOME)/.local/opt/Quillbay
APPLICATIONS ?= $(HOME)/.local/share/applications
ICONS ?= $(HOME)/.local/share/icons/hicolor

install: program
	cmake --install $(BUILD) --prefix "$(PREFIX)"
	mkdir -p "$(APPLICATIONS)"
	scripts/desktop-entry "$(abspath $(PREFIX))" "$(APPLICATIONS)/quillbay.desktop" "$(ICONS)"

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
