# The one entry point.
#   make demo                             build lvtb, then write and build the demo project in build/demo
#   make build                            Release build of everything, with warnings (-Werror under CI)
#   make test                             install what is missing, build the test programs, run every test
#   make test SANITIZE=address,undefined  the same in a separate sanitizer build tree
#   make test TEST_FILTER=REGEX           only the tests whose names match
#   make test TEST_PROGRAMS='a b'         build only these test programs (with a filter that runs only theirs)
#   make bench                            build and run the benchmarks
#   make gui                              build the programs, write the demo project when absent, open it in the desktop program
#   make screenshots                      the desktop program's views drawn to build/screenshots/*.png
#   make fuzz [FUZZ_SECONDS=60]           build the libFuzzer targets with clang and run each
#   make lint                             clang-tidy over src/ (checks in .clang-tidy)
#   make fuzz-smoke                       every fuzz target for a few seconds (part of CI)
#   make clean

SHELL := /bin/bash
comma := ,
SANITIZE ?=
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
WERROR ?= $(if $(CI),ON,OFF)
TEST_PROGRAMS ?= lv_tests

# The compiler cache, when installed (CMakeLists.txt uses it), keeps its objects outside the clone and
# hashes paths relative to the clone, so that another clone on the same machine finds them.
export CCACHE_BASEDIR ?= $(CURDIR)
export CCACHE_NOHASHDIR ?= 1
export CCACHE_MAXSIZE ?= 10G

ifeq ($(SANITIZE),)
BUILD_DIR := build/release
BUILD_TYPE := Release
else
BUILD_DIR := build/sanitize-$(subst $(comma),-,$(SANITIZE))
BUILD_TYPE := RelWithDebInfo
endif
FUZZ_DIR := build/fuzz
FUZZ_TARGETS := fuzz_wav_reader fuzz_memory_stream fuzz_mp3 fuzz_project_payload fuzz_json_model fuzz_engine_files fuzz_pipeline_f0

.PHONY: all build configure test bench fuzz fuzz-smoke lint demo gui screenshots deps clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DLV_WERROR=$(WERROR) \
	  -DLV_SANITIZE=$(SANITIZE) >/dev/null

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

test: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(TEST_PROGRAMS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS) $(if $(TEST_FILTER),-R '$(TEST_FILTER)')

demo: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target lvtb
	@$(BUILD_DIR)/src/cli/lvtb demo --out build/demo --force

gui: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target lvtb lirvane-toolbox
	@test -f build/demo/demo.lvtb || $(BUILD_DIR)/src/cli/lvtb demo --out build/demo --force
	@$(BUILD_DIR)/src/app/lirvane-toolbox build/demo/demo.lvtb

screenshots: demo
	cmake --build $(BUILD_DIR) -j $(JOBS) --target lv_ui_screenshots
	@mkdir -p build/screenshots
	@QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tests/ui/lv_ui_screenshots --demo build/demo --out build/screenshots

bench: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target lv_benchmarks
	@for b in $(BUILD_DIR)/bench/lv_bench_*; do echo "== $$b"; "$$b"; done

fuzz: deps
	@CXX=clang++ CC=clang cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLV_FUZZ=ON \
	  -DLV_BUILD_TESTS=OFF -DLV_BUILD_BENCH=OFF -DLV_BUILD_DESKTOP=OFF >/dev/null
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS) lv_fuzz_seeds
	@for t in $(FUZZ_TARGETS); do \
	  corpus=$(FUZZ_DIR)/corpus/$$t; log=$(FUZZ_DIR)/$$t.log; \
	  mkdir -p $$corpus && $(FUZZ_DIR)/tests/fuzz/lv_fuzz_seeds $$t $$corpus || exit 1; \
	  echo "== $$t for $(FUZZ_SECONDS) s"; \
	  if ! $(FUZZ_DIR)/tests/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	       -artifact_prefix=$(FUZZ_DIR)/ $$corpus >$$log 2>&1; then \
	    tail -n 60 $$log; echo "$$t: finding kept in $(FUZZ_DIR)/"; exit 1; \
	  fi; \
	  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' $$log; \
	done

lint: build
	@find src -name '*.cpp' | sort | xargs -P $(JOBS) -n 4 clang-tidy -p $(BUILD_DIR) --quiet \
	  --extra-arg=-Wno-unknown-warning-option > $(BUILD_DIR)/lint.log 2>&1 || true
	@if grep -E 'error:|warning:' $(BUILD_DIR)/lint.log; then exit 1; else echo 'lint: clean'; fi

fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=5

clean:
	rm -rf build
