# Tarnwick Uninstaller: build and test commands.
#   make          build every preset (host, win32, win64)
#   make test     set up the machine when needed, build, run every test
#   make setup    install the packages the build and the tests need
#   make demo     install a sample application in a private prefix and
#                 uninstall it through Wine's add/remove programs tool
#   make fuzz     run the vendor tool's fuzz targets for a bounded time
#   make bench    time a large uninstallation against the bare platform calls

JOBS ?= 2
TEST_ARCH = $(shell scripts/test-arch)
# Each pass names the code page and UI language it expects; the test
# programs and the end-to-end runner stop at once when Wine gives others.
JA_ENV = LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 TW_EXPECTED_LOCALE=932:0x0411
EN_ENV = LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 TW_EXPECTED_LOCALE=1252:0x0409

.PHONY: all build setup host win32 win64 test test-host test-wine fuzz demo demo-run bench bench-run clean

all: build

build: host win32 win64

setup:
	@scripts/setup

host win32 win64:
	@test -f build/$@/CMakeCache.txt || cmake --preset $@ >/dev/null
	cmake --build --preset $@ -j $(JOBS)

test: setup
	@$(MAKE) --no-print-directory build
	@$(MAKE) --no-print-directory test-host
	@$(MAKE) --no-print-directory test-wine

test-host:
	ctest --preset host

# The Wine tests, under code page 1252 and again under code page 932.
test-wine:
	@arch=$(TEST_ARCH); \
	if [ "$$arch" != win32 ]; then \
	  echo "note: this machine's kernel cannot run 32-bit x86 code, so the Wine tests"; \
	  echo "      run the same sources built for x86-64 under 64-bit Wine (preset $$arch)."; \
	fi; \
	scripts/wine-session sh -c '\
	  echo "== Wine tests ($$0), code page 1252 =="; \
	  $(EN_ENV) ctest --preset $$0 || exit 1; \
	  echo "== Wine tests ($$0), code page 932 =="; \
	  $(JA_ENV) ctest --preset $$0' $$arch

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
