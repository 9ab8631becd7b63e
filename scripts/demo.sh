#!/usr/bin/env bash
# The main job: builds the host preset and runs the demonstration on copies
# of the sample machine (tools/demo/run-demo.sh). With --wine it also builds
# the win64 preset and runs the real mdmclean.exe under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cmake --preset host >/dev/null
cmake --build --preset host -j2 --target mdmclean HVLIB32 hvcall machine-diff
if [[ "${1:-}" == "--wine" ]]; then
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2 --target mdmclean
  exec bash tools/demo/run-demo.sh --wine "$PWD/build/win64/bin"
fi
exec bash tools/demo/run-demo.sh "$PWD/build/host"
