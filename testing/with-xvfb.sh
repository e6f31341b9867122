#!/usr/bin/env bash
# Runs a command on a private Xvfb server (1024x768x24). The server picks a free display
# itself (-displayfd), so parallel runs never race for one display number the way
# `xvfb-run -a` can. Passes the command's exit code through.
set -u
fifo_dir=$(mktemp -d)
trap 'rm -rf "$fifo_dir"' EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo_dir/display" 2>"$fifo_dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do
  [ -s "$fifo_dir/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "with-xvfb: Xvfb did not start:" >&2; cat "$fifo_dir/xvfb.log" >&2; exit 125; }
  sleep 0.1
done
display=$(head -n1 "$fifo_dir/display")
[ -n "$display" ] || { echo "with-xvfb: no display from Xvfb" >&2; kill "$xvfb_pid"; exit 125; }
DISPLAY=":$display" "$@"
status=$?
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $status
