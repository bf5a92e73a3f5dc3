# Kestrow: a Windows program, cross-built with MinGW-w64 and run and tested under Wine.
#   make run    build and start Kestrow under Wine (on a private Xvfb display when DISPLAY is unset)
#   make test   build and run every test (what CI runs)
#   make demo   start Kestrow, make one real registry change, show the event it logs
#   make bench  build and run the benchmarks

BUILD   := build
NINJA   := ninja -C $(BUILD)

.PHONY: all deps configure build run test demo bench clean

all: build

deps:
	@scripts/deps.sh

$(BUILD)/build.ninja: | deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null

configure: $(BUILD)/build.ninja

build: deps configure
	@$(NINJA)

run: build
	@scripts/run.sh $(BUILD)

test: build
	@scripts/run-tests.sh $(BUILD)

demo: build
	@scripts/demo.sh $(BUILD)

bench: build
	@scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)
