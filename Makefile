# The two commands of the project:
#   make test   set up, build, and run every test, normally and under AddressSanitizer + UBSan
#   make demo   build varno and run it on the bundled example, then show the listing
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
EXAMPLE ?= examples/baseline-2km
DEMO_DIR ?= $(BUILD)/demo

.PHONY: all setup configure build test test-normal test-sanitized demo bench clean

all: build

setup:
	@bash scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

test-normal: build
	@cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

test-sanitized: setup
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVARNO_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j$(JOBS)
	@cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)

test: test-normal test-sanitized

demo: configure
	@cmake --build $(BUILD) -j$(JOBS) --target varno
	@rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	@cp $(EXAMPLE)/point1.rnx $(EXAMPLE)/point2.rnx $(EXAMPLE)/orbit.sp3 $(EXAMPLE)/pos $(DEMO_DIR)/
	@if [ -f $(EXAMPLE)/off ]; then cp $(EXAMPLE)/off $(DEMO_DIR)/; fi
	@echo "== running varno in $(DEMO_DIR)"
	@cd $(DEMO_DIR) && ../varno; status=$$?; echo "== exit status $$status"; \
	  echo "== $(DEMO_DIR)/varno.lst"; cat varno.lst; \
	  if [ -f varno.res ]; then echo "== $(DEMO_DIR)/varno.res: $$(wc -l < varno.res) residual lines"; fi; \
	  exit $$status

bench: configure
	@cmake --build $(BUILD) -j$(JOBS) --target varno-bench
	@$(BUILD)/bench/varno-bench

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
