# Thin wrapper: installs what is missing, configures, builds, runs.
# `demo` and `build` need only what the program needs and build only the program
# and its image module; `test` adds the rest to the same build folder: the test
# tools, the tests and the benchmarks (built so that they keep compiling, run by
# hand); `bench` builds just the benchmarks.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
MAKEFLAGS += --no-print-directory

# The program and its image module; the assemblers build the viewer ROMs of -rom.
PROGRAM_PACKAGES := cmake g++ make pkg-config libpng-dev libjpeg62-turbo-dev libgif-dev libstb-dev \
                    libdeflate-dev pasmo binutils-m68k-linux-gnu cc65
# The tests: GoogleTest, the assemblers and emulators the console-side decoders
# are checked in, and clang for the fuzz targets CI builds after the tests.
BENCH_PACKAGES := $(PROGRAM_PACKAGES) libbenchmark-dev
TEST_PACKAGES := $(BENCH_PACKAGES) libgtest-dev libz80ex-dev libunicorn-dev clang-14 \
                 libclang-rt-14-dev mednafen

# Configures $(BUILD): a first configuration turns on only the option $(1)
# (MORVIK_TESTS, MORVIK_BENCH or none), a later one only turns $(1) on.
configure = if [ ! -f $(BUILD)/CMakeCache.txt ]; then \
                cmake -S . -B $(BUILD) $(foreach o,MORVIK_TESTS MORVIK_BENCH,-D$(o)=$(if $(filter $(o),$(1)),ON,OFF)); \
            $(if $(1),elif ! grep -qx '$(1):BOOL=ON' $(BUILD)/CMakeCache.txt; then \
                cmake -S . -B $(BUILD) -D$(1)=ON;) \
            fi

.PHONY: all build demo test bench clean

all: build

build:
	@./tools/install-deps.sh $(PROGRAM_PACKAGES)
	@$(call configure)
	cmake --build $(BUILD) -j $(JOBS) --target morvik morvik-image

demo: build
	@mkdir -p out
	./$(BUILD)/morvik -image examples/title.png -target sms -opt -pack -autocomp -code \
		-preview out/title-preview.bmp -o out/title.lzs -v
	@echo "Wrote:" && ls -l out

test:
	@./tools/install-deps.sh $(TEST_PACKAGES)
	@$(call configure,MORVIK_TESTS)
	@$(call configure,MORVIK_BENCH)
	cmake --build $(BUILD) -j $(JOBS) --target morvik-tests benchmarks
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Benchmarks are run by hand: ./$(BUILD)/lzss_bench and the other *_bench.
bench:
	@./tools/install-deps.sh $(BENCH_PACKAGES)
	@$(call configure,MORVIK_BENCH)
	cmake --build $(BUILD) -j $(JOBS) --target benchmarks

clean:
	rm -rf $(BUILD) out
