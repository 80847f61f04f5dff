# The two commands of the project:
#   make test   set up, build, and run every test, normally and under AddressSanitizer + UBSan
#   make demo   build varno and run it on the bundled example, then show the listing
JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
EXAMPLE ?= examples/baseline-2km
DEMO_DIR ?= $(BUILD)/demo
PREFIX ?= /usr/local

.PHONY: all setup configure build test test-normal test-sanitized demo bench fuzz clean install uninstall

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

# Simulated workloads (2 km baseline, the default scenario, with the navigation file that reproduces its orbit) are
# made once into the build tree; the 1 h one has an hour of orbit on each side, as the peer interpolates through 11
# orbit epochs. Every workload with navigation files is also run with them as the orbit (--nav), side by side. BASELINE=path/to/an earlier varno
# adds its times and checks that its outputs are byte-identical; RUNS sets the repetitions; BENCH_OPTIONS (e.g.
# "--summary s.json") are given to both. A day at 1 s of GPS, Galileo and BeiDou seen from East Asia (RINEX 3, about
# three times GPS's double differences) is run with GPS alone and with --systems G,E,C, and the ratio printed.
RUNS ?= 5
BENCH_DATA ?= $(BUILD)/bench-data
BENCH_WORKLOADS = 1h-1Hz:3600:1:3600 6h-1Hz:21600:1:1800 24h-1Hz:86400:1:1800 24h-30s:86400:30:1800
SHARED_DATA ?= ../shared/data
bench: configure
	@cmake --build $(BUILD) -j$(JOBS) --target varno varno-sim varno-bench varno-orbit-bench
	@for w in $(BENCH_WORKLOADS); do \
	  set -- $$(echo $$w | tr : ' '); \
	  if [ ! -f $(BENCH_DATA)/$$1/orbit.sp3 ] || ! ls $(BENCH_DATA)/$$1/brdc* >/dev/null 2>&1; then \
	    $(BUILD)/tools/sim/varno-sim --duration=$$2 --interval=$$3 --orbit-margin=$$4 --nav-files=2 \
	      $(BENCH_DATA)/$$1 >/dev/null; fi; \
	done
	@$(BUILD)/bench/varno-bench --runs $(RUNS) --nav $(if $(BASELINE),--baseline $(BASELINE)) \
	  $(foreach o,$(BENCH_OPTIONS),--option $(o)) \
	  $(foreach w,$(BENCH_WORKLOADS),$(firstword $(subst :, ,$(w)))=$(BENCH_DATA)/$(firstword $(subst :, ,$(w)))) \
	  $(foreach d,$(wildcard $(SHARED_DATA)/*/),$(notdir $(patsubst %/,%,$(d)))=$(d))
	@if [ ! -f $(BENCH_DATA)/24h-1Hz-GEC/orbit.sp3 ]; then \
	  $(BUILD)/tools/sim/varno-sim --systems=G,E,C --orbit-version=d --format=rinex3 --lat1=35 --lon1=120 \
	    --duration=86400 --interval=1 --orbit-margin=1800 $(BENCH_DATA)/24h-1Hz-GEC >/dev/null; fi
	@$(BUILD)/bench/varno-bench --runs $(RUNS) --no-peer --systems G,E,C $(if $(BASELINE),--baseline $(BASELINE)) \
	  $(foreach o,$(BENCH_OPTIONS),--option $(o)) 24h-1Hz-GEC=$(BENCH_DATA)/24h-1Hz-GEC
	@d=$(SHARED_DATA)/garr-mata-51km; if [ -f $$d/orbit.sp3 ]; then \
	  $(BUILD)/bench/varno-orbit-bench $$d/orbit.sp3 $$d/brdc0770.10n $$d/brdc0770.11n; fi

# Fuzz targets (libFuzzer + ASan + UBSan, built with clang in build-fuzz): each runs FUZZ_SECONDS (default 600);
# FUZZ_TARGETS picks some of obs sp3 pos off run. See scripts/fuzz.sh.
fuzz: setup
	@bash scripts/fuzz.sh

# Installs varno, varno-sim, varno-pos and their manual pages under PREFIX (DESTDIR is honoured).
install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

# Removes what the last install put there (CMake's install manifest).
uninstall:
	@if [ -f $(BUILD)/install_manifest.txt ]; then \
	  while read -r f || [ -n "$$f" ]; do rm -f "$$DESTDIR$$f" && echo "removed $$DESTDIR$$f"; done < $(BUILD)/install_manifest.txt; \
	else echo "nothing installed from $(BUILD)"; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
