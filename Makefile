# Tarnwick Uninstaller: build and test commands.
#   make          build every preset (host, win32, win64)
#   make test     set up the machine when needed, build, run every test
#   make test-pe32  every Wine test and scenario on the shipped PE32 (in the
#                 emulated machine where this kernel runs no 32-bit code)
#   make setup    install the packages the build and the tests need
#   make demo     install a sample application in a private prefix and
#                 uninstall it through Wine's add/remove programs tool
#   make fuzz     run the vendor tool's fuzz targets for a bounded time
#   make bench    time a large uninstallation against the bare platform calls

JOBS ?= 2
TEST_ARCH = $(shell scripts/test-arch)

.PHONY: all build setup host win32 win64 test test-host test-wine test-x86-64 test-pe32 pe32vm-image-early fuzz demo demo-run bench bench-run clean

all: build

build: host win32 win64

setup:
	@scripts/setup

host win32 win64:
	@test -f build/$@/CMakeCache.txt || cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

test: setup
	@$(MAKE) --no-print-directory pe32vm-image-early
	@$(MAKE) --no-print-directory build
	@$(MAKE) --no-print-directory test-host
	@$(MAKE) --no-print-directory test-wine

test-host:
	ctest --preset host

# The Wine tests in two lanes, each under code page 1252 and again under
# code page 932 (scripts/test-lane): the x86-64 build under 64-bit Wine,
# and the shipped PE32 under 32-bit Wine, whole where this machine's kernel
# runs 32-bit code, else its smoke set in the emulated machine
# (TW_PE32_LANE=off leaves it out). Then each lane's pass counts and times.
test-wine:
	@summary=$$(mktemp); rc=0; \
	TW_LANE_SUMMARY=$$summary scripts/test-lane x86-64 whole || rc=1; \
	TW_LANE_SUMMARY=$$summary scripts/test-lane pe32 auto || rc=1; \
	echo "== Wine lanes =="; cat $$summary; rm -f $$summary; exit $$rc

# Where the PE32 lane is to run in the emulated machine and its image is
# not built yet, the build (mostly downloading and unpacking packages)
# starts now in the background, beside the compiling; the lane waits for it.
pe32vm-image-early:
	@if [ "$$(bash -c '. scripts/wine-env && tw_pe32_where')" = emulated ] && ! scripts/pe32vm/image --check; then \
	  mkdir -p build/pe32vm; \
	  echo "pe32 lane: building the emulated machine's image in the background (log: build/pe32vm/image.log)"; \
	  nice -n 10 scripts/pe32vm/image >build/pe32vm/image.log 2>&1 </dev/null & \
	fi

# One lane alone, whole: what it needs is set up and built first.
test-x86-64: setup
	@$(MAKE) --no-print-directory win64
	@scripts/test-lane x86-64 whole

test-pe32: setup
	@$(MAKE) --no-print-directory win32
	@scripts/test-lane pe32 whole

# Fuzzing of the vendor tool's readers with libFuzzer (not part of 'make test').
fuzz: setup
	tools/twpack/fuzz/run

# The demonstration, built for the architecture that Wine can run here (the
# architecture is chosen again after the set-up, in a new make).
# LANG=ja_JP.UTF-8 runs it in Japanese; without a DISPLAY it is driven under
# Xvfb and leaves screenshots in build/demo/.
demo: setup
	@$(MAKE) --no-print-directory demo-run

demo-run:
	@$(MAKE) --no-print-directory $(TEST_ARCH)
	@tools/demo/run --build build/$(TEST_ARCH)

# The uninstallation benchmark (not part of 'make test'): the real
# uninstaller against the bare platform calls at 1,000 and 10,000 items;
# prints a table (README, Performance). The shipped 32-bit executable is
# built too, for its size.
bench: setup
	@$(MAKE) --no-print-directory bench-run

bench-run:
	@for p in $(TEST_ARCH) win32; do \
	  test -f build/$$p/CMakeCache.txt || cmake --preset $$p >/dev/null || exit 1; \
	done
	cmake --build --preset $(TEST_ARCH) -j $(JOBS) --target twuninst twbench bench_detail_log
	cmake --build --preset win32 -j $(JOBS) --target twuninst
	@tools/bench/run --build build/$(TEST_ARCH)

clean:
	rm -rf build
