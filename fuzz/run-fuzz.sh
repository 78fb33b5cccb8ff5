#!/usr/bin/env bash
# run-fuzz.sh TARGET CORPUS SECONDS: a fixed-time fuzz run seeded with the
# kept inputs. The inputs are copied to a scratch folder first so the run
# adds nothing to the source tree.
set -euo pipefail
target=$1 corpus=$2 seconds=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/artifacts"
cp -r "$corpus"/. "$work/corpus/" 2>/dev/null || true
"$target" -max_total_time="$seconds" -seed=1 -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" 2>&1 | tail -n 5
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
    echo "fuzz target failed; reproducer:"; ls -l "$work/artifacts"
    for f in "$work/artifacts"/*; do [ -f "$f" ] && od -c "$f" | head -20; done
fi
exit "$status"
