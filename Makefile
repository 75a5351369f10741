# make run     installs what is missing, builds, starts Brenvoy from build/bin
# make test    installs what is missing, builds, runs the whole test suite
# make format  formats every C++ file; make format-check only reports
# make bench   builds the benchmarks under bench/

BUILD ?= build
JOBS ?= $(shell nproc)
# Extra CMake options, e.g. CMAKE_FLAGS=-DBRENVOY_WERROR=ON (CI) or
# CMAKE_FLAGS=-DBRENVOY_ASAN=ON BUILD=build-asan.
CMAKE_FLAGS ?=
# ccache: paths relative to the checkout, so another clone reuses the cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

# Debian 12 packages, one per line in deps/: <area>.txt for building and
# running the program, <area>-test.txt for the tests, benchmarks and checks.
RUN_LISTS = $(filter-out %-test.txt,$(wildcard deps/*.txt))
TEST_LISTS = $(wildcard deps/*.txt)
packages = $(shell cat $(1) | sed 's/\#.*//' | sort -u)

# Installs the packages of $(1) that are not installed yet.
define install
	@missing=$$(for p in $(call packages,$(1)); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	    $$SUDO apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

CONFIGURE = cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

.PHONY: all build run test deps deps-run deps-test bench format format-check clean

all: build

deps-run:
	$(call install,$(RUN_LISTS))

deps-test deps:
	$(call install,$(TEST_LISTS))

build: deps-test
	$(CONFIGURE) -DBRENVOY_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Only the program: no test package is needed, no test is compiled.
run: deps-run
	$(CONFIGURE) -DBRENVOY_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS) --target brenvoy
	@# build/bin is the program folder: Kestrun.ini, the table and Template/ live beside the executable.
	cd $(BUILD)/bin && ./brenvoy

bench: deps-test
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DBRENVOY_BENCH=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD)-bench -j $(JOBS)

format:
	tools/format.sh

format-check:
	tools/format.sh --check

clean:
	rm -rf $(BUILD) $(BUILD)-bench
