#!/usr/bin/env bash
# Sets up, builds the release configuration and runs the quornel host program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quornel_cli
./build/release/tools/quornel/quornel selftest
