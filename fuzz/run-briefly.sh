#!/bin/sh
# Builds the fuzz targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz and runs each for a short while (FUZZ_SECONDS, default 20) on a copy
# of its seed corpus. Exits non-zero when a target fails; what it failed on is kept
# in build-fuzz/fuzz-artifacts.
set -eu
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
build=build-fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DMORVIK_FUZZ=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/fuzz-artifacts"
failed=""
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    mkdir -p "$work/$target"
    cp "$corpus"* "$work/$target/"
    dictionary=""
    [ -f "fuzz/$target.dict" ] && dictionary="-dict=fuzz/$target.dict"
    echo "== fuzz_$target for ${seconds}s"
    if ! "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 $dictionary \
        -artifact_prefix="$build/fuzz-artifacts/$target-" "$work/$target" \
        >"$work/$target.log" 2>&1; then
        tail -n 60 "$work/$target.log"
        failed="$failed $target"
    else
        grep -E "^Done|number_of_executed_units" "$work/$target.log" || true
    fi
done
if [ -n "$failed" ]; then
    echo "Fuzz targets failed:$failed"
    exit 1
fi
echo "All fuzz targets ran clean."
