# The two commands of the README:
#   make demo   builds korvel and appends the bundled examples into out.pdf
#   make check  builds and runs every test, normally and under sanitizers
BUILD      ?= build
SAN_BUILD  ?= build-sanitize
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: all demo check test test-sanitize install bench clean

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

clean:
	rm -rf $(BUILD) $(SAN_BUILD) out.pdf
