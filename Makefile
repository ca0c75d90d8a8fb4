# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2
REGISTRY := $(or $(VANTRY_REGISTRY),/etc/vantry/registry.reg)

FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
# The project's code is instrumented too, so the fuzzer sees its branches and
# the sanitizers its faults; the harnesses alone link the fuzzing engine.
# Asio looks for clang's coroutines in libc++ only; Debian's clang uses libstdc++.
# clang 14 cannot emit the function-type check's prologue data in coroutines
# that also carry coverage counters, so that one check is left out.
FUZZ_FLAGS := -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=function \
  -fno-sanitize-recover=all -DASIO_HAS_CO_AWAIT=1

.PHONY: all setup configure build run test bench fuzz fixtures-start fixtures-stop clean deb deb-test

all: build

# What only the tests and benchmarks need (their real peers, clang for the
# fuzzers) comes with `make test`, `make bench` and `make fuzz`, so that
# `make run` stays light.
test bench fuzz: SETUP_ARGS := --test

setup:
	@bash scripts/setup $(SETUP_ARGS)

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Installs what is missing, builds, writes the default settings when there are
# none (as "vantrysvc -fixreg" does) and runs the gateway in the foreground.
run: build
	@if [ ! -f "$(REGISTRY)" ]; then $(BUILD)/bin/vantrysvc -fixreg; fi
	@echo "Settings: $(REGISTRY)  (stop with Ctrl-C)"
	exec $(BUILD)/bin/vantrysvc -debug

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# Builds the fuzz harnesses with clang in $(FUZZ_BUILD) and runs each for
# FUZZ_SECONDS; crashing inputs land in fuzz/crashes/<target>/.
fuzz: setup
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DVANTRY_BUILD_CONSOLE=OFF \
	  -DVANTRY_FUZZ_ENGINE=libfuzzer "-DCMAKE_C_FLAGS=$(FUZZ_FLAGS)" \
	  "-DCMAKE_CXX_FLAGS=$(FUZZ_FLAGS)" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	@bash fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@bash bench/run-all

# The Debian packages vantry and vantry-console, built from the tree with
# debhelper into $(DEB_OUT) and checked by lintian (errors fail the build).
DEB_OUT ?= build-deb
DEB_VERSION = $(shell dpkg-parsechangelog -S Version)
DEB_ARCH = $(shell dpkg-architecture -qDEB_HOST_ARCH)
deb: SETUP_ARGS := --deb
deb: setup
	dpkg-buildpackage -b -us -uc -j$(JOBS)
	@mkdir -p $(DEB_OUT)
	@mv ../vantry_$(DEB_VERSION)_$(DEB_ARCH).deb ../vantry-console_$(DEB_VERSION)_$(DEB_ARCH).deb \
	  ../vantry_$(DEB_VERSION)_$(DEB_ARCH).buildinfo ../vantry_$(DEB_VERSION)_$(DEB_ARCH).changes $(DEB_OUT)/
	lintian --fail-on error $(DEB_OUT)/vantry_$(DEB_VERSION)_$(DEB_ARCH).deb \
	  $(DEB_OUT)/vantry-console_$(DEB_VERSION)_$(DEB_ARCH).deb
	@ls -l $(DEB_OUT)/*.deb

# Installs the packages on this machine (as root), runs the installed gateway,
# rotates its log, then purges them: see packaging/test-deb.
deb-test: deb
	bash packaging/test-deb $(DEB_OUT)/vantry_$(DEB_VERSION)_$(DEB_ARCH).deb \
	  $(DEB_OUT)/vantry-console_$(DEB_VERSION)_$(DEB_ARCH).deb

fixtures-start:
	@bash scripts/fixtures start

fixtures-stop:
	@bash scripts/fixtures stop

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD)
