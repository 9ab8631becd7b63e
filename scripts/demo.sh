#!/usr/bin/env bash
# The main job: the demonstration in tools/demo/run-demo.sh. Until it exists,
# builds what there is and runs the conformance program on the emulated machine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

if [ -f tools/demo/run-demo.sh ]; then
  exec bash tools/demo/run-demo.sh "$@"
fi

cmake --preset host >/dev/null && cmake --build --preset host -j2
cmake --preset win64 >/dev/null && cmake --build --preset win64 -j2
if [ -x build/host/bin/conformance ]; then
  build/host/bin/conformance 'C:\mdmconf'
fi
