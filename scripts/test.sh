#!/usr/bin/env bash
# Sets up, builds everything and runs every test (unit, host, export check, fuzz replay).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release -j2
