# Thin wrapper: installs what is missing, configures, builds, runs.
BUILD ?= build
PACKAGES := cmake g++ make pkg-config libpng-dev libstb-dev libgtest-dev libbenchmark-dev \
            python3 binutils-m68k-linux-gnu
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
	./$(BUILD)/morvik -pack -v examples/title.png -o out/title.png.lzs
	./$(BUILD)/morvik -unpack -v out/title.png.lzs -o out/title-unpacked.png
	cmp examples/title.png out/title-unpacked.png && echo "Round trip OK: out/title-unpacked.png equals examples/title.png"

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) out
