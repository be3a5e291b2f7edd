#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs the engine on the
# bundled example script.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
echo "Built the engine library (build/libqemengine.so); the qem program that runs the example script comes in a later step."
