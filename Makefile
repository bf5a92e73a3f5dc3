# Kestrow: a Windows program, cross-built with MinGW-w64 and run and tested under Wine.
#   make run    build and start Kestrow under Wine (on a private Xvfb display when DISPLAY is unset)
#   make test   build and run every test (what CI runs); ARGS='-R unit.TaskMonitor' goes to ctest
#   make test-busy  the same with two busy loops per core beside it, RUNS=10 times in a row
#   make package  build/Kestrow-<version>.msi and build/Kestrow-<version>.zip
#   make demo   start Kestrow, make one real registry change, show the event it logs
#   make bench  build and run the benchmarks

BUILD   := build
NINJA   := ninja -C $(BUILD)
ARGS    ?=
RUNS    ?= 10

.PHONY: all deps configure build package run test test-busy demo bench clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

configure: $(BUILD)/build.ninja

build: deps configure
	@$(NINJA)

package: build
	@$(NINJA) kestrow_package

run: build
	@scripts/run.sh $(BUILD)

test: build
	@scripts/run-tests.sh $(BUILD) $(ARGS)

test-busy: build
	@scripts/run-tests-busy.sh $(BUILD) $(RUNS) $(ARGS)

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@$(NINJA) benchmarks
	@scripts/run-bench.sh $(BUILD)


clean:
	rm -rf $(BUILD)
