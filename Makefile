# Set-up and everyday commands. `make demo` and `make test` first install whatever is missing
# from Debian's archive (through sudo when not run as root), then build and run.
BUILD_DIR ?= build
TOOL := $(BUILD_DIR)/ppd-paper-defaults/ppd-paper-defaults
# What the tool needs to build: the package's build dependencies (packaging/debian/control), without
# debhelper and those only its tests need (<!nocheck>), and make, g++ and gzip. Then those of the tests.
build_depends = $(shell sed -n 's/^Build-Depends://p' packaging/debian/control | tr , '\n' | \
  grep $(1) '<!nocheck>' | awk '{print $$1}' | grep -v debhelper)
TOOL_PACKAGES := make g++ gzip $(call build_depends,-v)
PACKAGES := $(TOOL_PACKAGES) $(call build_depends,) python3
# What the checks on real PPDs and a real print server, and the fault sweep, need besides.
TEST_PACKAGES := openprinting-ppds cups-client cups-daemon strace
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
# Compiler warnings are errors with WERROR=ON, as in CI and developers' builds; for a user, whose
# newer compiler may know a new warning, they are not.
WERROR ?= OFF
SOURCES := $(shell find ppd-paper-defaults tests bench fuzz -name '*.cpp' -o -name '*.h' -o -name '*.mm')

.PHONY: all deps build demo test format format-check clean test-foundation test-sanitize fuzz \
  test-install test-cross

all: build

# Installs only the packages that are missing, so that a machine that has them all needs no root.
# A package named PACKAGE:ARCH adds that foreign architecture first. The package lists are fetched
# only when apt does not know a package yet, or when an install from stale lists fails.
# apt-get waits up to five minutes for dpkg's lock, which unattended upgrades hold for minutes after
# a cloud machine boots. `apt-get update` cannot wait so for the lock of the package lists, which
# the daily update holds; while that lock stops it, it is tried again every 5 s, for five minutes.
# apt speaks English here, so that its message about the lock can be recognised.
APT_GET := $(SUDO) env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 apt-get -q -o DPkg::Lock::Timeout=300
APT_INSTALL := $(APT_GET) install -y --no-install-recommends
deps:
	@missing=; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	update() { for try in $$(seq 60); do \
	  { err=$$($(APT_GET) update 2>&1 >&3); } 3>&1 && return; echo "$$err" >&2; \
	  case $$err in *'Could not get lock'*) sleep 5;; *) return 1;; esac; done; return 1; }; \
	if [ -n "$$missing" ]; then \
	  echo "Installing from Debian:$$missing"; \
	  for arch in $$(echo "$$missing" | grep -o ':[a-z0-9]*' | tr -d : | sort -u); do \
	    dpkg --print-foreign-architectures | grep -qx $$arch || $(SUDO) dpkg --add-architecture $$arch; \
	  done; \
	  { apt-get install -s -q $$missing >/dev/null 2>&1 || update; } && \
	  { $(APT_INSTALL) $$missing || { update && $(APT_INSTALL) $$missing; }; }; \
	fi

# BUILD_TESTING is said each time: CMake would keep an OFF from an earlier configure, and CTest
# would then run test programs built before.
build: deps
	cmake -S . -B $(BUILD_DIR) -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) -DBUILD_TESTING=ON \
	  -DPPD_PAPER_DEFAULTS_SLOW_TESTS=ON
	cmake --build $(BUILD_DIR) -j2

# What the tool does to the example PPD: the diff of its output under en_US, then the same check
# under de_DE, where the output must be the input. The build shows each target it has built, and
# all it said only when it fails.
EXAMPLE := examples/example-a4.ppd
demo: deps
	@mkdir -p $(BUILD_DIR) && rm -f $(BUILD_DIR)/demo-failed && echo "Building in $(BUILD_DIR)/" && \
	  { $(MAKE) --no-print-directory build 2>&1 || touch $(BUILD_DIR)/demo-failed; } | \
	  tee $(BUILD_DIR)/demo-build.log | grep --line-buffered 'Built target'; \
	  [ ! -e $(BUILD_DIR)/demo-failed ] || { cat $(BUILD_DIR)/demo-build.log; exit 1; }
	@LC_ALL=en_US.UTF-8 $(TOOL) x $(EXAMPLE) >$(BUILD_DIR)/example-en_US.ppd
	@diff -u --label $(EXAMPLE) --label "LC_ALL=en_US.UTF-8 ppd-paper-defaults x $(EXAMPLE)" \
	  $(EXAMPLE) $(BUILD_DIR)/example-en_US.ppd; [ $$? -eq 1 ] || { echo "demo: no change under en_US"; exit 1; }
	@LC_ALL=de_DE.UTF-8 $(TOOL) x $(EXAMPLE) | cmp -s - $(EXAMPLE) || { echo "demo: de_DE changed it"; exit 1; }
	@echo "Under LC_ALL=de_DE.UTF-8 the output is identical to the input."

# The unit and end-to-end suites (seconds), then the fault sweep and the checks on real PPDs and a
# real print server, which show their progress.
test: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(TEST_PACKAGES)"
	ctest --no-tests=error --test-dir $(BUILD_DIR) --output-on-failure -j2 -LE 'sweep|corpus'
	ctest --no-tests=error --test-dir $(BUILD_DIR) --output-on-failure -V -L 'sweep|corpus'

# The Foundation layer, built against GNUstep in its own directory, as a Mac builds it: without the
# preloaded simulation, which needs glibc, and with the locale given in Foundation's argument
# domain. The unit and end-to-end suites run; the end-to-end rows it cannot run are named.
FOUNDATION_BUILD_DIR := build-foundation
FOUNDATION_PACKAGES := gobjc++ libgnustep-base-dev gnustep-make

test-foundation:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(FOUNDATION_PACKAGES)"
	cmake -S . -B $(FOUNDATION_BUILD_DIR) -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) -DBUILD_TESTING=ON \
	  -DPPD_PAPER_DEFAULTS_FOUNDATION=ON -DPPD_PAPER_DEFAULTS_SIMULATE=OFF
	cmake --build $(FOUNDATION_BUILD_DIR) -j2
	ctest --no-tests=error --test-dir $(FOUNDATION_BUILD_DIR) --output-on-failure -j2 -L '^(unit|cli)$$'
	@grep -h '^Skipped' $(FOUNDATION_BUILD_DIR)/Testing/Temporary/LastTest.log

# The tool cross-built for other architectures, each in build-ARCH/ with cmake/toolchain-ARCH.cmake;
# ARM runs through qemu-user, and i386 natively where the kernel runs i386 programs, through
# qemu-user elsewhere (cmake/toolchain-i386.cmake). Each is checked for hardening, runs the unit
# and end-to-end suites and the real-PPD check on every 25th PPD, and then says what ran.
# CROSS_ARCHS=arm64, in the environment or on make's command line, takes one.
CROSS_ARCHS ?= i386 arm64 armhf
TRIPLET_i386 := i686-linux-gnu
TRIPLET_arm64 := aarch64-linux-gnu
TRIPLET_armhf := arm-linux-gnueabihf
CROSS_PACKAGES = $(TEST_PACKAGES) devscripts qemu-user \
  $(foreach a,$(CROSS_ARCHS),g++-$(TRIPLET_$(a)) libcups2-dev:$(a) zlib1g-dev:$(a) \
  libgtest-dev:$(a))
test-cross:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(CROSS_PACKAGES)"
	@for arch in $(CROSS_ARCHS); do $(MAKE) --no-print-directory test-cross-$$arch || exit 1; done
	@for arch in $(CROSS_ARCHS); do cat build-$$arch/summary; done

test-cross-%:
	cmake -S . -B build-$* --toolchain cmake/toolchain-$*.cmake -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) \
	  -DPPD_PAPER_DEFAULTS_SLOW_TESTS=ON
	cmake --build build-$* -j2
	tests/check_hardening.py build-$*/ppd-paper-defaults/ppd-paper-defaults
	ctest --no-tests=error --test-dir build-$* --output-on-failure -j2 -LE corpus --output-log build-$*/fast.log
	PPD_CORPUS_STEP=25 ctest --no-tests=error --test-dir build-$* --output-on-failure -V -L corpus \
	  --output-log build-$*/corpus.log
	@tests=$$(grep -o 'out of [0-9]*' build-$*/fast.log | grep -o '[0-9]*'); \
	ppds=$$(grep -o 'PPDs checked: [0-9]*, failed: [0-9]*' build-$*/corpus.log); \
	how=$$(grep -q '^PPD_PAPER_DEFAULTS_I386_NATIVE:BOOL=ON' build-$*/CMakeCache.txt && \
	  echo run natively || echo through qemu-user); \
	echo "== $* ($$how): built hardened; unit and end-to-end" \
	  "suites passed ($$tests tests); real PPDs, every 25th: $$ppds; cupstestppd, cupsd: passed" \
	  >build-$*/summary

# The tool against its floors (bench/README.md). PPD_CORPUS_DIR may name an unpacked corpus.
.PHONY: bench
bench: build
	@$(MAKE) --no-print-directory deps PACKAGES="python3 valgrind hyperfine time openprinting-ppds"
	cmake --build $(BUILD_DIR) -j2 --target floor-block-copy floor-byte-copy floor-pass-through
	BUILD_DIR=$(BUILD_DIR) python3 bench/benchmark.py

# The C++ sources formatted with the committed .clang-format; format-check fails where they are not.
format:
	@$(MAKE) --no-print-directory deps PACKAGES=clang-format
	clang-format -i $(SOURCES)

format-check:
	@$(MAKE) --no-print-directory deps PACKAGES=clang-format
	clang-format --dry-run --Werror $(SOURCES)

# The README's install and removal commands, as someone who only installs the tool runs them, with
# CMake told that GoogleTest and Python are missing: the tool is installed into a staging folder,
# run, and removed, leaving nothing named for it.
# Twice: with the compiler CMake finds, and the installed tool then checked for hardening; and
# as on a Mac, configured without -DBUILD_TESTING=OFF, where CMake must say that it leaves the
# tests out, and with g++ linking through tests/mac_linker_g++.sh, which like Apple's linker stops
# at any GNU ld long option or -z option, so that the flags CMake adds only where the linker takes
# them are left out.
test-install: test-install-native test-install-mac
test-install-mac: INSTALL_CXX := -DCMAKE_CXX_COMPILER=$(CURDIR)/tests/mac_linker_g++.sh
test-install-%:
	@$(MAKE) --no-print-directory deps PACKAGES="$(TOOL_PACKAGES) devscripts"
	rm -rf build-install-$* && mkdir build-install-$*
	cmake -S . -B build-install-$* -DCMAKE_BUILD_TYPE=Release $(if $(INSTALL_CXX),,-DBUILD_TESTING=OFF) \
	  --no-warn-unused-cli -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON \
	  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) $(INSTALL_CXX) \
	  >build-install-$*/configure.log || { cat build-install-$*/configure.log; exit 1; }
	$(if $(INSTALL_CXX),grep 'Tests left out: GoogleTest was not found' build-install-$*/configure.log)
	cmake --build build-install-$* -j2
	DESTDIR=$(CURDIR)/build-install-$*/staging cmake --install build-install-$* --prefix /usr/local
	test -f build-install-$*/staging/usr/local/share/man/man1/ppd-paper-defaults.1.gz
	LC_ALL=en_US.UTF-8 build-install-$*/staging/usr/local/bin/ppd-paper-defaults x $(EXAMPLE) | \
	  grep -qx '\*DefaultPageSize: Letter'
	$(if $(INSTALL_CXX),,tests/check_hardening.py build-install-$*/staging/usr/local/bin/ppd-paper-defaults)
	sed 's|^|build-install-$*/staging|' build-install-$*/install_manifest.txt | xargs rm --
	@left=$$(find build-install-$*/staging -name '*ppd-paper-defaults*'); \
	  [ -z "$$left" ] || { echo "left after the removal: $$left"; exit 1; }

# The hardening flags that a distribution's flags or compiler choose already reach the compiler as
# they chose them (tests/check_hardening.py --flags), each case configured in build-flags-N/.
test-flags: deps
	python3 tests/check_hardening.py --flags build-flags

# The package as a distribution builds it: plain dh, by pbuilder in a chroot of Debian 13 kept in
# build-dh-SUITE/, offline, with -Werror, passing its tests, blhc --all finding nothing; then with
# the nocheck profile and no GoogleTest, building no test and giving the same package
# (packaging/test-dh.sh).
DH_SUITE ?= trixie
test-dh:
	@$(MAKE) --no-print-directory deps PACKAGES="pbuilder blhc eatmydata dpkg-dev"
	packaging/test-dh.sh $(DH_SUITE) build-dh-$(DH_SUITE)

.PHONY: source-copy package man-check package-test test-flags test-dh

# The tree as a release tarball holds it, with packaging/debian/ as debian/, in $(SOURCE_COPY):
# what dpkg-buildpackage builds here, and what test-dh makes its source package of. A BUILD_DIR
# inside the tree, other than build*, is left out.
IN_TREE = $(patsubst $(CURDIR)/%,--exclude=./%,$(filter $(CURDIR)/%,$(abspath $(BUILD_DIR))))
source-copy:
	rm -rf $(SOURCE_COPY) && mkdir -p $(SOURCE_COPY)
	tar --exclude=./.git --exclude='./build*' $(IN_TREE) -cf - . | tar -xf - -C $(SOURCE_COPY)
	cp -r $(SOURCE_COPY)/packaging/debian $(SOURCE_COPY)/debian

# The Debian package, built by dpkg-buildpackage in a source copy in $(PACKAGE_DIR), then put in
# $(BUILD_DIR), replacing any older one. dh runs the unit and end-to-end suites on the tool it
# packs; no debug symbol package.
PACKAGE_DIR = $(BUILD_DIR)/deb
package:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) build-essential debhelper"
	rm -rf $(PACKAGE_DIR)
	@$(MAKE) --no-print-directory source-copy SOURCE_COPY=$(PACKAGE_DIR)/src
	@echo "dpkg-buildpackage -us -uc -b in $(PACKAGE_DIR)/src (log: $(PACKAGE_DIR)/build.log)"
	@cd $(PACKAGE_DIR)/src && DEB_BUILD_OPTIONS="noautodbgsym $(DEB_BUILD_OPTIONS)" \
	  $(if $(filter ON,$(WERROR)),DEB_CXXFLAGS_APPEND=-Werror) dpkg-buildpackage -us -uc -b -j2 \
	  >../build.log 2>&1 || { tail -40 ../build.log; exit 1; }
	rm -f $(BUILD_DIR)/ppd-paper-defaults_*.deb && mv $(PACKAGE_DIR)/ppd-paper-defaults_*.deb $(BUILD_DIR)/

# The manual page must format without a single warning, from groff or from mandoc's lint.
man-check:
	@$(MAKE) --no-print-directory deps PACKAGES="groff-base mandoc"
	@warnings=$$(groff -ww -z -man man/ppd-paper-defaults.1 2>&1; \
	  mandoc -T lint -W warning man/ppd-paper-defaults.1 2>&1); \
	if [ -n "$$warnings" ]; then echo "$$warnings"; exit 1; fi

# Checks the package's files, owners and modes, lintian, and that a second build with the nocheck
# profile builds no test and gives the same bytes; then its autopkgtest installs it into this
# system, and it is removed again (packaging/test-deb.sh).
package-test: package man-check
	@$(MAKE) --no-print-directory deps PACKAGES="man-db lintian devscripts autopkgtest"
	SUDO="$(SUDO)" packaging/test-deb.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(FOUNDATION_BUILD_DIR) build-install-native build-install-mac build-asan build-fuzz \
	  $(CROSS_ARCHS:%=build-%) build-flags* build-dh-*

# Every suite but the fault sweep built with AddressSanitizer and UndefinedBehaviorSanitizer, the
# real PPDs cut to every PPD_CORPUS_STEP-th; any report ends the process with an error, so the test
# that ran it fails. CTEST_ARGS picks tests, e.g. "-L unit".
PPD_CORPUS_STEP ?= 100
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
CTEST_ARGS ?=
test-sanitize:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(TEST_PACKAGES)"
	cmake -S . -B build-asan -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) -DCMAKE_BUILD_TYPE=Debug \
	  -DPPD_PAPER_DEFAULTS_SLOW_TESTS=ON \
	  "-DCMAKE_CXX_FLAGS=$(SANITIZE)" "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)"
	cmake --build build-asan -j2
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  PPD_CORPUS_STEP=$(PPD_CORPUS_STEP) ctest --no-tests=error --test-dir build-asan --output-on-failure -j2 $(CTEST_ARGS)

# Fuzzes the line copier for FUZZ_SECONDS with libFuzzer, ASan and UBSan (the runtime of the clang
# that Debian installs), starting from a copy of fuzz/corpus (so that nothing new is written into
# the repository). Fails on any crash, sanitizer report or property violation; the failing input is
# saved in build-fuzz/.
FUZZ_SECONDS ?= 60
fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) clang"
	@$(MAKE) --no-print-directory deps PACKAGES="libclang-rt-$$(clang -dumpversion | cut -d. -f1)-dev"
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DPPD_PAPER_DEFAULTS_FUZZ=ON \
	  -DBUILD_TESTING=OFF -DPPD_PAPER_DEFAULTS_WERROR=$(WERROR) \
	  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
	cmake --build build-fuzz -j2 --target ppd-rewrite-fuzz
	rm -rf build-fuzz/corpus && cp -r fuzz/corpus build-fuzz/corpus
	build-fuzz/fuzz/ppd-rewrite-fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=16384 -timeout=10 \
	  -dict=fuzz/ppd.dict -print_final_stats=1 -artifact_prefix=build-fuzz/ build-fuzz/corpus
