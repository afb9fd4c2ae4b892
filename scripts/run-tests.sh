#!/usr/bin/env bash
# Installs what is missing, builds everything, fuzzes the MIDI byte parser for a bounded time,
# and runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

cmake --preset release
cmake --build --preset release

# libFuzzer needs clang; the fuzz build compiles only the parser and its target.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=$(mktemp -d)
cp tests/fuzz/corpus/* "$corpus"/
build/fuzz/tests/fuzz/midi_parser_fuzz -max_total_time="${NORVANE_FUZZ_SECONDS:-60}" \
  -max_len=512 -print_final_stats=1 "$corpus" 2>&1 | tail -n 6
rm -rf "$corpus"
echo "MIDI parser fuzzing: no crash, no sanitizer report"

ctest --preset release -j2
