# The short way in: `make run` builds and runs the bundled example job, `make test` builds
# and runs the tests. Both install the Debian packages the build needs when missing.
PRESET ?= dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test asan format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

run: build
	@./build/quillmarch --version

test: build
	@ctest --preset $(PRESET)

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan
