# The two commands of the README, plus a few conveniences.
BUILD ?= build
JOBS ?= 2

.PHONY: run test build bootstrap clean package

bootstrap:
	@scripts/bootstrap

build: bootstrap
	cmake --build $(BUILD) -j $(JOBS)

# Starts Vastrel on the simulated exchange (telephon.ini is created with four
# lines and demo traffic on the first run).
run: build
	$(BUILD)/bin/vastrel

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# The Debian package (CPack), written into $(BUILD)/: vastrel_VERSION-1_ARCH.deb.
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)

# More checks (README): the test suite under ASan+UBSan in build-asan/, and
# every fuzz target for FUZZ_SECONDS each in build-fuzz/.
FUZZ_SECONDS ?= 60
.PHONY: sanitize fuzz
sanitize: bootstrap
	JOBS=$(JOBS) scripts/sanitize

fuzz: bootstrap
	JOBS=$(JOBS) fuzz/run.sh $(FUZZ_SECONDS)
