# Set-up and everyday commands. `make demo` and `make test` first install whatever is missing
# from Debian's archive (through sudo when not run as root), then build and run.
BUILD_DIR ?= build
TOOL := $(BUILD_DIR)/ppd-paper-defaults/ppd-paper-defaults
PACKAGES := cmake make g++ gzip libcups2-dev libgtest-dev
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
SOURCES := $(shell find ppd-paper-defaults tests bench -name '*.cpp' -o -name '*.h')

.PHONY: all deps build demo test format format-check clean

all: build

# Installs only the packages that are missing, so that a machine that has them all needs no root.
deps:
	@missing=; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing from Debian:$$missing"; \
	  $(SUDO) apt-get update -q && \
	  $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD_DIR) -DPPD_PAPER_DEFAULTS_WERROR=ON
	cmake --build $(BUILD_DIR) -j2

demo: build
	LC_ALL=en_US.UTF-8 $(TOOL) x examples/example-a4.ppd

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

# The tool against its floors (bench/README.md). PPD_CORPUS_DIR may name an unpacked corpus.
.PHONY: bench
bench: build
	@$(MAKE) --no-print-directory deps PACKAGES="python3 valgrind hyperfine time openprinting-ppds"
	BUILD_DIR=$(BUILD_DIR) python3 bench/benchmark.py

format:
	clang-format -i $(SOURCES)

format-check:
	@$(MAKE) --no-print-directory deps PACKAGES=clang-format
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf $(BUILD_DIR)
