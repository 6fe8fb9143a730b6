# The two set-up commands of a fresh Debian 12 machine: `make demo` and `make test`.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PACKAGES := cmake ninja-build g++ make libgtest-dev pkg-config socat curl locales

.PHONY: all deps configure build demo test clean

all: build

deps:
	@sh scripts/install-deps $(PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/tavrin asm examples/hello.tasm -o $(BUILD)/hello
	@$(BUILD)/hello

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
