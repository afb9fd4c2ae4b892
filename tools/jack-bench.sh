#!/usr/bin/env bash
# The real-time benchmark without a sound card: starts a JACK server with the dummy driver
# (48 kHz, 128 frames: a real-time clock), plays the reference performance through it with
# `norvane-cli play`, stops the server and prints the figures.
# Usage: tools/jack-bench.sh [MIDI] [FRAMES]   (defaults: ../shared/bench/dense.mid, 128)
# NORVANE_CLI names the program (default: build/release/tools/norvane-cli/norvane-cli).
set -euo pipefail
cd "$(dirname "$0")/.."
midi=${1:-../shared/bench/dense.mid}
frames=${2:-128}
cli=${NORVANE_CLI:-build/release/tools/norvane-cli/norvane-cli}
[ -x "$cli" ] || { echo "build norvane-cli first: cmake --preset release && cmake --build --preset release" >&2; exit 1; }
command -v jackd >/dev/null || { echo "jackd is missing: bash scripts/install-deps.sh" >&2; exit 1; }

export JACK_DEFAULT_SERVER="norvane-bench-$$"
log=$(mktemp)
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p "$frames" >"$log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 50); do
  jack_lsp >/dev/null 2>&1 && break
  sleep 0.2
done
jack_lsp >/dev/null 2>&1 || { echo "the dummy JACK server did not start:" >&2; cat "$log" >&2; exit 1; }

echo "performance: $midi; JACK dummy driver, 48000 Hz, $frames frames"
"$cli" play "$midi" --buffer "$frames" --json
