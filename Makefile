# The short way in: `make run` builds and runs the bundled example job, `make test` builds
# and runs the tests. Both install the Debian packages the build needs when missing.
PRESET ?= dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
MAKEFLAGS += --no-print-directory

.PHONY: all deps configure build executable run test deb asan fuzz format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake --preset $(PRESET) >/dev/null

build: configure
	@cmake --build --preset $(PRESET) -j $(JOBS)

# The program and its manual beside it, which Help > View Manual opens.
executable: configure
	@cmake --build --preset $(PRESET) -j $(JOBS) --target quillmarch quillmarch_manual

# The example job runs in build/example/, a fresh copy of examples/, where the relative paths
# of examples/example.sbf resolve.
run: executable
	@rm -rf build/example && cp -R examples build/example && rm -f build/example/.gitattributes
	@cd build/example && ../quillmarch --headless example.sbf
	@cd build/example && for f in out/*.bif; do \
		echo; echo "BIF file: build/example/$$f"; cat "$$f"; done
	@echo; echo "Images (moved below the BIF file's folder):"
	@cd build/example && find images out -type f -name '*.tif' | sort | sed 's|^|  build/example/|'

test: build
	@ctest --preset $(PRESET)

# The Debian package, in build/: what the install rules name, below /usr (packaging/Debian.cmake).
deb: configure
	@cmake --build --preset $(PRESET) -j $(JOBS) --target quillmarch quillmarch_manual quillmarch_package_docs
	@rm -f build/quillmarch_*.deb && cd build && cpack -G DEB
	@if command -v lintian >/dev/null 2>&1; then lintian --fail-on error build/quillmarch_*.deb; fi

asan:
	@$(MAKE) --no-print-directory test PRESET=asan

# The fuzz targets (fuzz/, clang with libFuzzer and the sanitizers), each run for FUZZ_SECONDS
# from its seed corpus; what they find new is kept in build-fuzz/corpus/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= CommandLineFuzz ConfigFileFuzz IndexLineFuzz ConversionFuzz
fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
		echo "== $$t: $(FUZZ_SECONDS) s"; \
		mkdir -p build-fuzz/corpus/$$t; \
		build-fuzz/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=20 \
			-rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build-fuzz/$$t- \
			build-fuzz/corpus/$$t fuzz/corpus/$$t >build-fuzz/$$t.log 2>&1; \
		status=$$?; grep -E '^stat::|^Done' build-fuzz/$$t.log; \
		if [ $$status -ne 0 ]; then tail -n 60 build-fuzz/$$t.log; exit 1; fi; \
	done

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-fuzz
