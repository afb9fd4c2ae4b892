#!/usr/bin/env bash
# Plays a performance through a JACK server of its own (the dummy driver: a real-time clock,
# no sound card) and checks what the server sees: a client called "Norvane" whose two outputs
# are named for the master bus and connected to the system's playback ports, and sound on them.
# Usage: jack_check.sh CLI MIDI WORK
set -euo pipefail
cli=$1 midi=$2 work=$3
rm -rf "$work" && mkdir -p "$work"

if ! command -v jackd >/dev/null || ! command -v jack_capture >/dev/null; then
  echo "SKIPPED: jackd or jack_capture is not installed"
  exit 77
fi

# A server name of its own, so that a server the machine runs already is left alone.
export JACK_DEFAULT_SERVER="norvane-check-$$"
jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 128 >"$work/jackd.log" 2>&1 &
server=$!
player= capture=
cleanup() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "$capture" ] && kill "$capture" 2>/dev/null || true
  kill "$server" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

for _ in $(seq 50); do
  jack_lsp >/dev/null 2>&1 && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.2
done
if ! jack_lsp >/dev/null 2>&1; then
  echo "SKIPPED: the dummy JACK server could not start:"
  cat "$work/jackd.log"
  exit 77
fi

"$cli" play "$midi" --json >"$work/play.txt" 2>&1 &
player=$!

# Once the outputs are up and connected, record what reaches them for two seconds.
connected=0
for _ in $(seq 100); do
  jack_lsp -c >"$work/ports.txt" 2>/dev/null || true
  if grep -A1 '^Norvane:master_left$' "$work/ports.txt" | grep -q 'system:playback_1' &&
     grep -A1 '^Norvane:master_right$' "$work/ports.txt" | grep -q 'system:playback_2'; then
    connected=1
    break
  fi
  sleep 0.1
done
if [ "$connected" != 1 ]; then
  echo "FAIL: no Norvane:master_left/right connected to the playback ports; the server lists:"
  cat "$work/ports.txt"
  cat "$work/play.txt"
  exit 1
fi
if grep -q '^Norvane:out_' "$work/ports.txt"; then
  echo "FAIL: the toolkit's own port names are still shown"
  cat "$work/ports.txt"
  exit 1
fi

# Recorded from the moment the ports are up until the player has finished: how long it takes
# to load its sounds before the first note depends on the machine.
jack_capture -b 16 -c 2 -p Norvane:master_left -p Norvane:master_right --no-stdin \
  "$work/capture.wav" >"$work/capture.log" 2>&1 &
capture=$!
wait "$player"
player=
kill -INT "$capture" 2>/dev/null || true
wait "$capture" || { cat "$work/capture.log"; exit 1; }
capture=
cat "$work/play.txt"

python3 - "$work/capture.wav" <<'PY'
import sys, wave, array
with wave.open(sys.argv[1]) as w:
    frames = array.array('h', w.readframes(w.getnframes()))
    left, right = frames[0::2], frames[1::2]
peak_l = max(map(abs, left)) / 32768 if left else 0
peak_r = max(map(abs, right)) / 32768 if right else 0
print(f"captured {len(left)} frames, peak left {peak_l:.4f}, right {peak_r:.4f}")
if len(left) < 48000 or peak_l < 0.01 or peak_r < 0.01:
    sys.exit("FAIL: no sound reached the outputs")
PY
grep -q '"device":"JACK/' "$work/play.txt" || { echo "FAIL: play did not go through JACK"; exit 1; }
echo "JACK client, ports and sound: all good"
