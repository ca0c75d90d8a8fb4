# The two commands of the README: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2
REGISTRY := $(or $(VANTRY_REGISTRY),/etc/vantry/registry.reg)

.PHONY: all setup configure build run test bench fixtures-start fixtures-stop clean

all: build

setup:
	@bash scripts/setup

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

bench: build
	@bash bench/run-all

fixtures-start:
	@bash scripts/fixtures start

fixtures-stop:
	@bash scripts/fixtures stop

clean:
	rm -rf $(BUILD)
