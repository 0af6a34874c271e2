#!/usr/bin/env bash
# Runs a command on a private Xvfb display with a private runtime folder, so
# end-to-end tests never touch the user's desktop or each other.
# Usage: run_e2e.sh [--size WxH] command [args...] (benchmarks pick the size)
set -euo pipefail
size=1280x1024
if [ "${1:-}" = "--size" ]; then size=$2; shift 2; fi

work=$(mktemp -d /tmp/kss-e2e-XXXXXX)
chmod 700 "$work"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work/home"
export XDG_CONFIG_HOME="$HOME/.config" XDG_STATE_HOME="$HOME/.local/state"
mkdir -m 700 -p "$XDG_RUNTIME_DIR" "$HOME"

exec 3> "$work/displayfd"
# -noreset: by default the server resets when its last client leaves (a test's
# program ending), and drops whoever connects meanwhile, which a busy machine hits.
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset -extension GLX +extension MIT-SHM \
    > "$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.05; done
display=$(head -n1 "$work/displayfd" 2>/dev/null || true)
[ -n "$display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb E2E_WORK="$work"
"$@"
