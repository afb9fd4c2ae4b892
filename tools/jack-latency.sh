#!/usr/bin/env bash
# Key-to-sound latency and jitter through JACK MIDI, side by side in one run: for each period
# (64, 128 and 256 frames at 48 kHz) a dummy JACK server of its own plays 200 notes, each at a
# random frame within its period, into Norvane ("norvane-cli listen") and into FluidSynth's own
# JACK driver with the same bank and program (0, the grand piano), and records what each gives
# back frame by frame (norvane-jack-probe). Latency is a note's first audible frame less its own
# frame; jitter is the spread of the latencies (max − min). Both include the same attack of the
# sample, so only their difference and their spread compare. Both play dry: the program's
# layers without their reverb, FluidSynth without its own.
# An xrun (the server's count while the notes played) can put a note a period late: the p1–p99
# gap is the jitter of the notes that played undisturbed.
# Usage: tools/jack-latency.sh [NOTES]   (default 200)
# NORVANE_BUILD names the build folder (default: build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
notes=${1:-200}
build=${NORVANE_BUILD:-build/release}
cli=$build/tools/norvane-cli/norvane-cli
probe=$build/tools/jack-probe/norvane-jack-probe
bank=$(readlink -f /usr/share/sounds/sf2/default-GM.sf2)
for tool in "$cli" "$probe"; do
  [ -x "$tool" ] || { echo "build first: cmake --preset release && cmake --build --preset release" >&2; exit 1; }
done
for command in jackd fluidsynth; do
  command -v $command >/dev/null || { echo "$command is missing: bash scripts/install-deps.sh" >&2; exit 1; }
done

work=$(mktemp -d)
server= player=
stop_all() {
  [ -n "$player" ] && kill "$player" 2>/dev/null || true
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  wait 2>/dev/null || true
  player= server=
}
trap 'stop_all; rm -rf "$work"' EXIT

start_server() { # PERIOD
  export JACK_DEFAULT_SERVER="norvane-latency-$$-$1"
  jackd -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p "$1" >"$work/jackd.log" 2>&1 &
  server=$!
  for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && return 0; sleep 0.2; done
  echo "the dummy JACK server did not start:" >&2; cat "$work/jackd.log" >&2; exit 1
}

wait_for_port() { # REGEX
  for _ in $(seq 100); do jack_lsp 2>/dev/null | grep -q -E "$1" && return 0; sleep 0.1; done
  echo "no port matching $1 came up" >&2; jack_lsp >&2; exit 1
}

# 200 notes of C6, 0.35 s apart, each at a random frame of its period.
make_events() { # PERIOD FILE
  python3 - "$1" "$notes" "$2" <<'PY'
import random, sys
period, notes, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
random.seed(28)
gap = (16800 // period) * period
with open(path, "w") as f:
    for k in range(notes):
        at = 24000 // period * period + k * gap + random.randrange(period)
        f.write(f"{at} 144 84 100\n{at + 600} 128 84 0\n")
PY
}

summarise() { # NAME PERIOD REPORT
  python3 - "$1" "$2" "$3" <<'PY'
import json, sys
name, period, report = sys.argv[1], int(sys.argv[2]), json.load(open(sys.argv[3]))
lat = sorted(n["latency"] for n in report["notes"] if n["onset"] >= 0)
missed = sum(1 for n in report["notes"] if n["onset"] < 0)
pick = lambda q: lat[min(len(lat) - 1, int(q * (len(lat) - 1) + 0.5))]
print(f"| {period:>6} | {name:<10} | {pick(0.5):>6} | {pick(0.99):>5} | {lat[-1]:>5} | "
      f"{lat[-1] - lat[0]:>6} | {pick(0.99) - pick(0.01):>10} | {missed:>6} | {report['xruns']:>5} |")
PY
}

seconds=$(python3 -c "print(1.0 + $notes * 0.35 + 1.0)")
echo "JACK dummy driver at 48000 Hz; $notes notes each; latencies and jitter in frames"
echo "| period | player     | median |   p99 |   max | jitter | p1–p99 gap | missed | xruns |"
echo "|--------|------------|--------|-------|-------|--------|------------|--------|-------|"
for period in ${NORVANE_PERIODS:-64 128 256}; do
  make_events "$period" "$work/events.txt"

  start_server "$period"
  if [ ! -f "$work/app/Session.json" ]; then
    # A session of its own whose layers play dry, as FluidSynth does here (no reverb).
    "$cli" listen --seconds 0.1 --buffer "$period" --folder "$work/app" >/dev/null 2>&1
    python3 - "$work/app/Session.json" <<'PY'
import json, sys
session = json.load(open(sys.argv[1]))
for layer in session["patch"]["layers"]:
    layer["reverbAmount"] = 0.0
json.dump(session, open(sys.argv[1], "w"))
PY
  fi
  rm -f "$work/norvane.log"
  "$cli" listen --seconds "$(python3 -c "print($seconds + 10)")" --buffer "$period" \
    --folder "$work/app" >"$work/norvane.log" 2>&1 &
  player=$!
  for _ in $(seq 300); do grep -q '^listening:' "$work/norvane.log" 2>/dev/null && break; sleep 0.1; done
  grep -q "^listening: JACK/system, $period frames" "$work/norvane.log" || { echo "Norvane did not come up:" >&2; cat "$work/norvane.log" >&2; exit 1; }
  "$probe" --to Norvane:midi_in --from Norvane:master_left --events "$work/events.txt" \
    --seconds "$seconds" >"$work/norvane.json"
  summarise Norvane "$period" "$work/norvane.json"
  stop_all

  start_server "$period"
  # Its shell reads a pipe held open here; closing it ends the program.
  rm -f "$work/shell" && mkfifo "$work/shell"
  fluidsynth -a jack -m jack -r 48000 -R 0 -C 0 -g 0.6 \
    -o audio.jack.autoconnect=0 -o audio.jack.id=fluid -o midi.jack.id=fluid \
    "$bank" <"$work/shell" >"$work/fluidsynth.log" 2>&1 &
  player=$!
  exec 3>"$work/shell"
  # With both drivers on JACK it makes one client, with its MIDI and audio ports.
  wait_for_port '^fluid[^:]*:midi'
  wait_for_port '^fluid[^:]*:left'
  sleep 1
  midi_in=$(jack_lsp | grep -E '^fluid[^:]*:midi' | head -1)
  left=$(jack_lsp | grep -E '^fluid[^:]*:left' | head -1)
  "$probe" --to "$midi_in" --from "$left" --events "$work/events.txt" --seconds "$seconds" \
    >"$work/fluidsynth.json"
  summarise FluidSynth "$period" "$work/fluidsynth.json"
  exec 3>&-
  stop_all
done
