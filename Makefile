# The two commands of the README:
#   make demo   builds korvel and appends the bundled examples into out.pdf
#   make check  builds and runs every test, normally and under sanitizers
# For developers (clang needed, not part of make check):
#   make fuzz                  builds the libFuzzer target
#   make fuzz-run SECONDS=600  fuzzes for that long (FUZZ_JOBS=2: in two processes)
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
SECONDS    ?= 60
FUZZ_JOBS  ?= 1
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all demo check test test-sanitize install bench clean fuzz fuzz-seeds fuzz-run test-build

all:
	scripts/deps.sh run
	cmake -S . -B $(BUILD) -DKORVEL_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target korvel

demo: all
	./$(BUILD)/korvel examples/report.pdf examples/invoice.pdf out.pdf
	@echo "out.pdf: $$(qpdf --show-npages out.pdf) pages (examples/report.pdf: $$(qpdf --show-npages examples/report.pdf), examples/invoice.pdf: $$(qpdf --show-npages examples/invoice.pdf))"

check: test test-sanitize

test:
	scripts/deps.sh test
	cmake -S . -B $(BUILD) -DKORVEL_TESTS=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize:
	scripts/deps.sh test
	cmake -S . -B $(SAN_BUILD) -DKORVEL_TESTS=ON -DKORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build $(SAN_BUILD) -j $(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

install: all
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: all
	bench/run.sh $(BUILD)/korvel

# The fuzz target: the library and the harness built by clang with coverage,
# AddressSanitizer and UndefinedBehaviorSanitizer.
fuzz:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DKORVEL_FUZZ=ON -DKORVEL_TESTS=OFF $(CMAKE_ARGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target korvel_fuzz

# Seeds from the documents the tests build, the end-to-end fixtures and the
# shared corpus; made once, into $(FUZZ_BUILD)/seeds.
fuzz-seeds: test-build
	rm -rf $(FUZZ_BUILD)/seeds.new
	python3 tests/fuzz/make_seeds.py $(FUZZ_BUILD)/seeds.new $(BUILD)/tests/korvel_tests ../shared/corpus
	rm -rf $(FUZZ_BUILD)/seeds && mv $(FUZZ_BUILD)/seeds.new $(FUZZ_BUILD)/seeds

test-build:
	scripts/deps.sh test
	cmake -S . -B $(BUILD) -DKORVEL_TESTS=ON $(CMAKE_ARGS)
	cmake --build $(BUILD) -j $(JOBS) --target korvel_tests

# New inputs found go to $(FUZZ_BUILD)/corpus (kept between runs); crashes,
# leaks, timeouts and out-of-memory inputs to $(FUZZ_BUILD)/findings, and the
# run goes on past them (libFuzzer's fork mode, FUZZ_JOBS processes). Fails
# while findings/ holds any: fix, keep the input as a unit test, delete it.
fuzz-run: fuzz
	[ -d $(FUZZ_BUILD)/seeds ] || $(MAKE) fuzz-seeds
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/findings
	cd $(FUZZ_BUILD) && UBSAN_OPTIONS=print_stacktrace=1 ./tests/fuzz/korvel_fuzz -fork=$(FUZZ_JOBS) \
		-ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time=$(SECONDS) -rss_limit_mb=2048 \
		-timeout=10 -close_fd_mask=2 -dict=$(CURDIR)/tests/fuzz/pdf.dict -artifact_prefix=findings/ corpus seeds
	@ls $(FUZZ_BUILD)/findings; test -z "$$(ls $(FUZZ_BUILD)/findings)"

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(FUZZ_BUILD) out.pdf
