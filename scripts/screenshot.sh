#!/usr/bin/env bash
# Pictures of the main window saved as PNG files into the folder given: the Chords tab in
# Spanish, in English and on a light ground, the Live tab set up for a gig, a strip's panel
# and the appearance panel. The application runs on a virtual display with a home folder of its
# own, so the user's settings, patches and session are never touched.
#
#   bash scripts/screenshot.sh docs/screenshots
set -euo pipefail

out="${1:?usage: scripts/screenshot.sh FOLDER}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build build/release --target norvane -j2

home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" LANG=es_ES.UTF-8 \
  timeout 120 xvfb-run -a -s "-screen 0 1600x1000x24" \
  build/release/src/norvane --screenshots "$out"
ls "$out"/norvane-*.png
