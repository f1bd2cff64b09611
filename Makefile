# The Makefile only delegates: packages, CMake configure/build, CTest, the
# simulator and the benchmarks.

BUILD    ?= build
JOBS     ?= $(shell nproc)
PACKAGES := qt6-base-dev libvlc-dev vlc-plugin-base libvlc-bin libsoundtouch-dev \
            libao-dev libudev-dev libxml2-dev zlib1g-dev libssl-dev sox libsox-fmt-mp3 \
            espeak-ng lame alsa-utils zip unzip cmake ninja-build pkg-config g++ python3 \
            python3-cryptography libespeak-ng-dev
# The board's build: cross compiler, user emulation, and the board's libraries
# as armhf multiarch packages (the amd64 Qt host tools stay in use). libvlc's MP3
# decoders and libao's ALSA output load their libraries as plug-ins, so those are named.
ARMHF_BUILD    ?= build-armhf
ARMHF_JOBS     ?= 2
ARMHF_PACKAGES := g++-arm-linux-gnueabihf qemu-user-static \
                  $(addsuffix :armhf,qt6-base-dev libvlc-dev libsoundtouch-dev libao-dev \
                  libudev-dev libxml2-dev zlib1g-dev libssl-dev libespeak-ng-dev libmpg123-0 libmad0 libasound2)
# A test that cannot run under user emulation is labelled native (none is at present).
# The tests run under Debian 13's qemu-arm (tools/armhf/qemu.sh): Debian 12's
# aborts now and then in a many-threaded guest, which no retry made reliable.
ARMHF_CTEST_ARGS ?= -LE native

.PHONY: all deps configure build run test test-sanitize explore explore-ci bench fuzz armhf deb deb-check clean

all: build

# Installs what is missing, once: apt-get update only when something is.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
		echo "Installing: $$missing"; \
		tools/apt-get-retry.sh update && tools/apt-get-retry.sh install -y --no-install-recommends $$missing; \
	fi

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@tools/run-sim.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Seeded random walks of a reader through the firmware on the simulated board
# (tools/explore): SEED=N [STEPS=M] runs one walk; alone, a fixed set for about
# ten minutes; explore-ci the short set CI runs. EXPLORE_ARGS passes more options.
explore: build
	nice -n 10 tools/explore/explore.py --build $(BUILD) $(if $(SEED),--seed $(SEED)) $(if $(STEPS),--steps $(STEPS)) $(EXPLORE_ARGS)

explore-ci: build
	nice -n 10 tools/explore/explore.py --build $(BUILD) --ci $(EXPLORE_ARGS)

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
	@$(MAKE) --no-print-directory deps PACKAGES="clang libclang-rt-14-dev"
	@[ -f $(BUILD)-fuzz/build.ninja ] || CXX=clang++ cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DQUIMBO_BUILD_FUZZERS=ON
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzzers

# Cross build for the board, tests under qemu-arm-static; not part of `make test`.
armhf: deps
	tools/armhf/install-deps.sh $(ARMHF_PACKAGES)
	tools/armhf/vlc-plugins.sh $(ARMHF_BUILD)/vlc
	tools/armhf/qemu.sh $(ARMHF_BUILD)/qemu
	@[ -f $(ARMHF_BUILD)/build.ninja ] || cmake -S . -B $(ARMHF_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		--toolchain cmake/armhf-toolchain.cmake $(CMAKE_ARGS)
	@# A build folder configured before the newer qemu was there keeps Debian 12's: point it at the new one.
	@grep -q '^QUIMBO_QEMU_ARM:FILEPATH=$(abspath $(ARMHF_BUILD))/qemu/qemu-arm$$' $(ARMHF_BUILD)/CMakeCache.txt || \
		cmake -S . -B $(ARMHF_BUILD) -DQUIMBO_QEMU_ARM=$(abspath $(ARMHF_BUILD))/qemu/qemu-arm >/dev/null
	@start=$$(date +%s); nice -n 15 cmake --build $(ARMHF_BUILD) -j $(ARMHF_JOBS) && \
		echo "armhf build: $$(( $$(date +%s) - start )) s"
	@start=$$(date +%s); cd $(ARMHF_BUILD) && nice -n 15 ctest --output-on-failure -j $(ARMHF_JOBS) $(ARMHF_CTEST_ARGS); \
		status=$$?; echo "armhf tests under emulation: $$(( $$(date +%s) - start )) s"; exit $$status

# The device packages, into build-deb/: amd64 from $(BUILD), armhf from the cross
# build $(ARMHF_BUILD) when it exists (make armhf makes it). Packaging and its
# checks need tools that make test does not: deps installs them for this target only.
DEB_OUT      ?= build-deb
DEB_PACKAGES := dpkg-dev binutils lintian
deb: configure
	@$(MAKE) --no-print-directory deps PACKAGES="$(DEB_PACKAGES)"
	cmake --build $(BUILD) -j $(JOBS) --target quimbo-basic quimbo-update
	tools/deb/make-deb.sh $(BUILD) $(DEB_OUT)
	@if [ -f $(ARMHF_BUILD)/build.ninja ]; then \
		nice -n 10 cmake --build $(ARMHF_BUILD) -j $(JOBS) --target quimbo-basic quimbo-update && tools/deb/make-deb.sh $(ARMHF_BUILD) $(DEB_OUT); \
	else \
		echo "deb: no cross build in $(ARMHF_BUILD) (make armhf makes it): only the amd64 package was made"; \
	fi
	@for deb in $(DEB_OUT)/*.deb; do dpkg-deb --info $$deb; echo "lintian $$deb:"; lintian $$deb || exit 1; done

# Unpacks the packages into a scratch root and checks them (tools/deb/check-deb.sh),
# installing a firmware update there with this build's quimbo-update.
deb-check: deb
	cmake --build $(BUILD) -j $(JOBS) --target quimbo-update
	QUIMBO_UPDATE=$(BUILD)/bin/quimbo-update tools/deb/check-deb.sh $(DEB_OUT)/*.deb

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz $(BUILD)-sanitize $(ARMHF_BUILD)
