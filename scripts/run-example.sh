#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs the engine on the
# bundled example script. Without a display it runs under a virtual one for
# QEM_EXAMPLE_SECONDS seconds (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
example=build/examples/hello.bin
if [ -n "${DISPLAY:-}" ]; then
  exec build/qem "$example"
fi
seconds=${QEM_EXAMPLE_SECONDS:-10}
echo "No display: running the example under Xvfb for ${seconds} s."
status=0
xvfb-run -a timeout -s TERM "$seconds" build/qem "$example" || status=$?
# 124: stopped by the time limit, which is how this run ends.
if [ "$status" -ne 0 ] && [ "$status" -ne 124 ]; then exit "$status"; fi
