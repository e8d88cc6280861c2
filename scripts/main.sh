#!/usr/bin/env bash
# Sets up, builds the release configuration and runs the quornel host program's demo,
# which paints a picture and writes it into build/demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target quornel_cli
mkdir -p build/demo-out
./build/release/tools/quornel/quornel demo --out build/demo-out
