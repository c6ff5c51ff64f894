#!/usr/bin/env bash
# The main job on the bundled demo drives: builds kestrel-cli and prints
# the drive table of data/demo.scenario. Extra arguments go to kestrel-cli
# (for example --json).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh host
cmake --preset host >/dev/null
cmake --build --preset host --target kestrel-cli >/dev/null
exec build/host/kestrel-cli --sim data/demo.scenario "$@"
