# Two commands matter on a fresh Debian 12 machine: `make run` and `make test`.
# Both install what is missing first (as root), then build with CMake/Ninja:
# `make run` only the program, `make test` everything.

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

PACKAGES := cmake ninja-build g++ pkg-config qt6-base-dev libcurl4-openssl-dev \
            libjpeg62-turbo-dev libgtest-dev libgmock-dev iproute2 libcap2-bin \
            libxcb1-dev libxkbcommon-dev xvfb xauth x11-apps xdotool clang libclang-rt-14-dev \
            qt6-translations-l10n

.PHONY: all deps build run test test-unit test-asan clean bench

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y $$missing; \
	  else \
	    echo "Missing Debian packages. Install them as root with:"; \
	    echo "  apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

# Configuring looks for the packages, so it waits for them (order only: a
# present build.ninja is not made again each time deps runs).
$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# The program and its network helper: the tests are not needed to open its
# window.
run: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target VYN16 vyn-netpriv
	$(BUILD)/bin/VYN16

# --timeout: a test that hangs fails after 15 minutes rather than at CI's
# limit (each test also carries that TIMEOUT, or a shorter one of its own).
test-unit: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 900 --output-junit ctest-junit.xml

# Everything again (windows and namespace tests too) under AddressSanitizer
# and UBSan; Qt itself is not instrumented.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVYN_CORE_ONLY=OFF -DVYN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS) --timeout 900 --output-junit ctest-junit.xml

# Ends with one line on what was skipped and why (namespace tests skip
# themselves without root). Under CI=true a skipped test fails the run.
test: test-unit test-asan
	@cmake/skipped-tests.sh $(if $(filter true,$(CI)),--fail-on-skip) \
	  $(BUILD)/ctest-junit.xml $(ASAN_BUILD)/ctest-junit.xml

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Fuzzes the CoB1 and MFS text readers for a short fixed time each (clang,
# libFuzzer, ASan, UBSan, in build-fuzz); fails on any finding.
.PHONY: fuzz
fuzz: deps
	JOBS=$(JOBS) tests/fuzz/run-fuzz.sh

# Times every device road against the simulated device on a namespace bench
# of its own (root). BENCH_QUICK=1: a few runs each, as CI does. Never fails
# on a time; each run's table is appended as a JSON line to bench-runs.jsonl.
BENCH_ARGS ?=
bench: build
	$(BUILD)/bin/vyn-bench $(if $(BENCH_QUICK),--quick) --json $(BUILD)/bench-runs.jsonl $(BENCH_ARGS)
