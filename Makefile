# The Makefile only delegates: packages, CMake configure/build, CTest, the
# simulator and the benchmarks.

BUILD    ?= build
JOBS     ?= $(shell nproc)
PACKAGES := qt6-base-dev libvlc-dev vlc-plugin-base libvlc-bin libsoundtouch-dev \
            libao-dev libudev-dev libxml2-dev zlib1g-dev libssl-dev sox libsox-fmt-mp3 \
            espeak-ng lame alsa-utils zip unzip cmake ninja-build pkg-config g++ python3 \
            python3-cryptography

.PHONY: all deps configure build run test test-sanitize bench fuzz deb deb-check clean

all: build

# Installs what is missing, once: apt-get update only when something is.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing: $$missing"; \
		SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
		$$SUDO apt-get update && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-sim.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# The same tests, built with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer into a folder of its own.
test-sanitize: deps
	@[ -f $(BUILD)-sanitize/build.ninja ] || cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIMBO_SANITIZE=ON $(CMAKE_ARGS)
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

bench: deps
	@[ -f $(BUILD)-bench/build.ninja ] || cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DQUIMBO_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS)
	@bench/run-bench.sh $(BUILD)-bench

fuzz: deps
	@command -v clang++ >/dev/null || { SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); $$SUDO apt-get install -y --no-install-recommends clang libclang-rt-14-dev; }
	@[ -f $(BUILD)-fuzz/build.ninja ] || CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DQUIMBO_BUILD_FUZZERS=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzzers

# The device packages, into build-deb/: amd64 from $(BUILD), armhf from the cross
# build $(ARMHF_BUILD) when it exists (make armhf makes it). Packaging and its
# checks need tools that make test does not: deps installs them for this target only.
ARMHF_BUILD  ?= build-armhf
DEB_OUT      ?= build-deb
DEB_PACKAGES := dpkg-dev binutils lintian
deb: configure
	@$(MAKE) --no-print-directory deps PACKAGES="$(DEB_PACKAGES)"
	cmake --build $(BUILD) -j $(JOBS) --target quimbo-basic
	tools/deb/make-deb.sh $(BUILD) $(DEB_OUT)
	@if [ -f $(ARMHF_BUILD)/build.ninja ]; then \
		nice -n 10 cmake --build $(ARMHF_BUILD) -j $(JOBS) --target quimbo-basic && tools/deb/make-deb.sh $(ARMHF_BUILD) $(DEB_OUT); \
	else \
		echo "deb: no cross build in $(ARMHF_BUILD) (make armhf makes it): only the amd64 package was made"; \
	fi
	@for deb in $(DEB_OUT)/*.deb; do dpkg-deb --info $$deb; echo "lintian $$deb:"; lintian $$deb; done

# Unpacks the packages into a scratch root and checks them (tools/deb/check-deb.sh).
deb-check: deb
	tools/deb/check-deb.sh $(DEB_OUT)/*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-sanitize
