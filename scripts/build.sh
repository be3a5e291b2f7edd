#!/usr/bin/env bash
# Configures and builds the engine, its tests and benchmarks in build/.
# Arguments are passed on to cmake's configure step (e.g. -DQEM_DEBUG_INFO=lines).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build build
