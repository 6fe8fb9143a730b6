# The set-up commands of a fresh Debian 12 machine: `make demo`, `make test` and
# `make install` (PREFIX, default /usr/local: bin/tavrin, bin/tavrin-engine and
# lib/tavrin/tavrin-visual.so, where the installed engine looks for the windowed layer).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
PREFIX ?= /usr/local
PACKAGES := cmake ninja-build g++ make libgtest-dev pkg-config socat curl qt6-base-dev locales python3 libsndfile1 libasound2 libffi-dev fonts-liberation2 xvfb xauth

.PHONY: all deps configure build demo test install clean

all: build

deps:
	@sh scripts/install-deps $(PACKAGES)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/tavrin asm examples/hello.tasm -o $(BUILD)/hello
	@$(BUILD)/hello

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The engine is configured with the prefix, so a bound program anywhere finds the layer there.
install: build
	@cmake --install $(BUILD)

clean:
	rm -rf $(BUILD)
