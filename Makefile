# make run   installs what is missing, builds, starts Brenvoy from build/bin
# make test  installs what is missing, builds, runs the whole test suite

BUILD ?= build
JOBS ?= $(shell nproc)

# Debian 12 packages the build, the program and the tests need (deps/*.txt).
PACKAGES = $(shell cat deps/*.txt | sed 's/\#.*//')

.PHONY: all build run test deps bench clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	    $$SUDO apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@# build/bin is the program folder: Kestrun.ini, the table and Template/ live beside the executable.
	cd $(BUILD)/bin && ./brenvoy

bench: deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DBRENVOY_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench
