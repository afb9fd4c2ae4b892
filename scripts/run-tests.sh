#!/usr/bin/env bash
# Installs what is missing, builds everything, fuzzes the MIDI byte parser for a bounded time,
# and runs the whole test suite through CTest: the release build, then the same suite under
# the address + undefined-behaviour sanitizers and under the thread sanitizer
# (NORVANE_SANITIZERS=0 skips those two), built at -O1 with line tables only: half the compile
# time of -O2 -g, the same checks.
set -euo pipefail
cd "$(dirname "$0")/.."

# Each stage says how long it took, so that a slow run shows where its time went.
started=$SECONDS
stage() { echo "== $1: $((SECONDS - started)) s"; started=$SECONDS; }

bash scripts/install-deps.sh
stage "packages"

# A fresh build compiles in batches (NORVANE_UNITY_BUILD=OFF: one file at a time, as when
# working on the code).
unity="-DNORVANE_UNITY_BUILD=${NORVANE_UNITY_BUILD:-ON}"

cmake --preset release "$unity"
cmake --build --preset release
stage "release build"

# libFuzzer needs clang; the fuzz build compiles only the fuzz targets and what they use.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=$(mktemp -d)
cp tests/fuzz/corpus/* "$corpus"/
build/fuzz/tests/fuzz/midi_parser_fuzz -max_total_time="${NORVANE_FUZZ_SECONDS:-60}" \
  -max_len=512 -print_final_stats=1 "$corpus" 2>&1 | tail -n 6
rm -rf "$corpus"
echo "MIDI parser fuzzing: no crash, no sanitizer report"

# The stored documents' decoders: damaged patches and sessions.
corpus=$(mktemp -d)
cp tests/fuzz/documents/* "$corpus"/
build/fuzz/tests/fuzz/document_fuzz -max_total_time="${NORVANE_DOCUMENT_FUZZ_SECONDS:-30}" \
  -max_len=4096 -print_final_stats=1 "$corpus" 2>&1 | tail -n 6
rm -rf "$corpus"
echo "Document fuzzing: no crash, no sanitizer report"
stage "fuzzing"

if [ "${NORVANE_SANITIZERS:-1}" != "0" ]; then
  for preset in asan tsan; do
    cmake --preset "$preset" "$unity" >/dev/null
    cmake --build --preset "$preset"
    stage "$preset build"
    ctest --preset "$preset" -j2
    stage "$preset tests"
  done
fi

ctest --preset release -j2
stage "release tests"
