#!/usr/bin/env bash
# Ends the application with SIGTERM (a logout, a shutdown) and with SIGHUP (its terminal
# closing), and checks that each time it quits as on a normal quit: exit status 0, and the
# session saved on the way out. While the first runs, a second start for the same folders
# steps aside (status 0, a note on stderr) and leaves the first playing.
# Usage: signal_check.sh APP WORK
set -euo pipefail
app=$1 work=$2
rm -rf "$work" && mkdir -p "$work"

Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
pid=
cleanup() {
  [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
export DISPLAY=":$(cat "$work/display")"

for sig in TERM HUP; do
  home="$work/$sig"
  mkdir -p "$home/data" "$home/config"
  session="$home/data/Norvane/Session.json"
  XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" HOME="$home" "$app" \
    >"$home/app.log" 2>&1 &
  pid=$!
  # The session is written once the window shows; then it is taken away, so that only the
  # save on the way out can bring it back.
  for _ in $(seq 300); do
    [ -s "$session" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$session" ]; then
    echo "FAIL: the application never wrote its session"; cat "$home/app.log"; exit 1
  fi
  sleep 0.5
  if [ "$sig" = TERM ]; then
    XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" HOME="$home" \
      timeout 30 "$app" >"$home/second.log" 2>&1 || { echo "FAIL: a second start failed"; cat "$home/second.log"; exit 1; }
    grep -q "already running" "$home/second.log" || { echo "FAIL: a second start said nothing"; exit 1; }
    kill -0 "$pid" || { echo "FAIL: a second start ended the first"; exit 1; }
    echo "second start: stepped aside"
  fi
  rm -f "$session"
  kill "-$sig" "$pid"
  status=0
  timeout 20 tail --pid="$pid" -f /dev/null || { echo "FAIL: SIG$sig did not end it"; exit 1; }
  wait "$pid" || status=$?
  pid=
  if [ "$status" != 0 ]; then
    echo "FAIL: SIG$sig ended it with status $status"; cat "$home/app.log"; exit 1
  fi
  if [ ! -s "$session" ]; then
    echo "FAIL: SIG$sig ended it without saving the session"; exit 1
  fi
  echo "SIG$sig: quit, session saved"
done
