#!/usr/bin/env bash
# The scale benchmark: builds the host preset's scale_bench and prints, for
# each N (default 1000 10000 50000 INF files per folder), the time of a full
# mdmclean run, the floor of reading every INF file once, their ratio, the
# run's time per file and the peak memory.
#   bash scripts/bench.sh [N ...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset host >/dev/null
cmake --build --preset host -j2 --target scale_bench >/dev/null
exec build/host/bin/scale_bench "$@"
