# Set-up, build and test in one place; each target installs what it needs: building needs
# compilers, libraries and the icon tools only, the tests also their servers, tools and locale.
BUILD ?= build
JOBS ?= $(shell nproc)
SITE_COPY := $(BUILD)/site

.PHONY: all deps test-deps package-deps build run test fuzz bench bench-pages bench-search bench-s3 clients install package screenshot clean

all: build

deps:
	@scripts/install-deps.sh build

# After deps, so two package installs never run at once under -j.
test-deps: deps
	@scripts/install-deps.sh test

package-deps: deps
	@scripts/install-deps.sh package

build: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Indexes a fresh copy of the sample site.
run: build
	@rm -rf $(SITE_COPY) && cp -r examples/site $(SITE_COPY)
	@$(BUILD)/bin/tabulo-cli $(SITE_COPY)
	@echo "Pages written: $(abspath $(SITE_COPY))/index.html (and one index.html in every folder below)"

# Every build runs its tests even when another has failures; any failing fails the target. The
# thread sanitizer build runs the tests where threads work together: the walk, its pool, the
# hash cache, the daemon and the watch.
test: build test-deps
	@cmake -S . -B $(BUILD)-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTABULO_SANITIZE=ON -DTABULO_GUI=OFF >/dev/null
	@cmake --build $(BUILD)-sanitize -j $(JOBS)
	@cmake -S . -B $(BUILD)-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABULO_TSAN=ON -DTABULO_GUI=OFF >/dev/null
	@cmake --build $(BUILD)-tsan -j $(JOBS) --target tabulo_core_tests
	@status=0; \
	(cd $(BUILD) && ctest --output-on-failure -j $(JOBS)) || status=1; \
	(cd $(BUILD)-sanitize && ctest --output-on-failure -j $(JOBS)) || status=1; \
	(cd $(BUILD)-tsan && ctest --output-on-failure -j $(JOBS) -R '^(BucketStoreTest|DriverTest|ParallelWalkTest|FolderTotalsTest|FileHashesTest|HashColumnTest|DaemonTest|RunSafetyTest|WorkerPoolTest|WatchRunTest|FolderTimeTest)\.') || status=1; \
	exit $$status

# Each fuzzing harness for FUZZ_SECONDS on a scratch copy of its corpus (clang, libFuzzer).
FUZZ_SECONDS ?= 60
fuzz:
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_BUILD=$(BUILD)-fuzz JOBS=$(JOBS) fuzz/run.sh

PREFIX ?= /usr/local
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# A Release build of its own under /usr, packed by CPack into tabulo_VERSION_ARCH.deb here.
package: package-deps
	@cmake -S . -B $(BUILD)-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABULO_TESTS=OFF \
		-DCMAKE_INSTALL_PREFIX=/usr >/dev/null
	@cmake --build $(BUILD)-package -j $(JOBS)
	@rm -f $(BUILD)-package/*.deb
	@cd $(BUILD)-package && cpack -G DEB >/dev/null
	@for deb in $(BUILD)-package/*.deb; do mv $$deb . && echo "$$(basename $$deb)"; done

# The main window with the options open, and one grab per tab, drawn offscreen for the README;
# the window shows a copy of the example site as the folder used last. Then a modern page of
# that site in headless Chromium, at a phone's width, a desktop's, and in dark colours.
screenshot: build
	@scripts/install-deps.sh docs browser
	@mkdir -p docs
	@tmp=$$(mktemp -d) && mkdir -p $$tmp/home && cp -r examples/site $$tmp/site && \
		printf '%s\n' $$tmp/site > $$tmp/home/last-folder && \
		TABULO_HOME=$$tmp/home XDG_DATA_HOME=$$tmp/data HOME=$$tmp QT_QPA_PLATFORM=offscreen \
		$(BUILD)/bin/tabulo --screenshot=$(abspath docs/screenshot.png) 2>/dev/null; rm -rf $$tmp
	@scripts/modern-screenshots.sh $(BUILD)/bin/tabulo-cli examples/site docs
	@echo "docs/screenshot.png docs/tab-*.png docs/modern-*.png"

bench: build
	@bench/run.sh

# The site search index of generated trees of 100,000 to 10,000,000 names, built in memory.
SEARCH_NAMES ?= 100000 1000000 10000000
bench-search: build
	@$(BUILD)/bin/tabulo_search_bench $(SEARCH_NAMES)

# Modern pages of folders of 1,000 to 1,000,000 files in headless Chromium.
bench-pages: build
	@scripts/install-deps.sh browser
	@node bench/pages.mjs

# A bucket of KEYS objects in PREFIXES folders in s3rver: tabulo-cli fresh and re-run against
# rclone's bare listing of it.
bench-s3: build
	@scripts/install-deps.sh test
	@bench/s3.sh

# What wget, rclone, lftp, linkchecker and a media player's row rule get of a tree of odd names
# from each kind of page, served by nginx and lighttpd; a table, never a failure.
clients: build
	@scripts/install-deps.sh clients
	@bash tests/clients/conformance.sh $(BUILD)/bin/tabulo-cli record

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-tsan $(BUILD)-fuzz $(BUILD)-package
	rm -f tabulo_*.deb
