# Thin wrapper: installs what is missing, configures, builds, runs.
BUILD ?= build
PACKAGES := cmake g++ make pkg-config libpng-dev libstb-dev libgtest-dev libbenchmark-dev \
            python3 binutils-m68k-linux-gnu clang-14 libclang-rt-14-dev libz80ex-dev pasmo \
            libunicorn-dev
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all setup build demo test clean

all: build

setup:
	@./tools/install-deps.sh $(PACKAGES)

$(BUILD)/CMakeCache.txt: | setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: setup $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@mkdir -p out
	./$(BUILD)/morvik -image examples/title.png -target sms -opt -pack -autocomp -code \
		-preview out/title-preview.bmp -o out/title.lzs -v
	@echo "Wrote:" && ls -l out

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) out
