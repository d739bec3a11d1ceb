# Set-up, build and test in one place; each target installs what it needs.
BUILD ?= build
JOBS ?= $(shell nproc)
SITE_COPY := $(BUILD)/site

.PHONY: all deps build run test bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Indexes a fresh copy of the sample site.
run: build
	@rm -rf $(SITE_COPY) && cp -r examples/site $(SITE_COPY)
	@$(BUILD)/bin/tabulo-cli $(SITE_COPY)
	@echo "Pages written: $(abspath $(SITE_COPY))/index.html (and one index.html in every folder below)"

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTABULO_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)-sanitize -j $(JOBS)
	@cd $(BUILD)-sanitize && ctest --output-on-failure -j $(JOBS)

bench: build
	@bench/run.sh

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize
