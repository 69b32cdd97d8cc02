# SPDX-FileCopyrightText: 2026 The Norvane developers
# SPDX-License-Identifier: MIT

# Two commands set everything up on a fresh Debian machine:
#   make run    installs what is missing, builds and starts Norvane
#   make test   installs what is missing, builds and runs every test
# make test-asan builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
.PHONY: all deps configure build run test test-asan install clean

PRESET ?= default
BUILD_DIR := build

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@if [ ! -f $(BUILD_DIR)/build.ninja ]; then cmake --preset $(PRESET); fi

build: configure
	cmake --build --preset $(PRESET)

run: build
	./$(BUILD_DIR)/src/app/norvane $(ARGS)

test: build
	ctest --preset $(PRESET)

test-asan: deps
	@if [ ! -f build-asan/build.ninja ]; then cmake --preset asan; fi
	cmake --build --preset asan
	ctest --preset asan

install: build
	cmake --install $(BUILD_DIR) $(if $(PREFIX),--prefix $(PREFIX),)

clean:
	rm -rf $(BUILD_DIR)
