#!/usr/bin/env bash
# Runs every fuzz target for a while from its corpus:
#   tools/run-fuzzers.sh [build-fuzz] [seconds]
# The build folder is configured with clang and -DBRENVOY_FUZZ=ON and its
# `fuzz` target built. New inputs a run finds go to a scratch folder, not
# into the checked-in corpus. A crash, a leak or a hang fails the run and its
# input is printed (base64) so it can be replayed from the log:
#   base64 -d > crash && build-fuzz/fuzz/<name>/fuzz_<name> crash
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-fuzz}
seconds=${2:-60}
out=$(mktemp -d "${TMPDIR:-/tmp}/brenvoy-fuzz-XXXXXX")
trap 'rm -rf "$out"' EXIT

failed=0
ran=0
for dir in fuzz/*/; do
    name=$(basename "$dir")
    [ -f "$dir/CMakeLists.txt" ] || continue
    binary=$build/fuzz/$name/fuzz_$name
    if [ ! -x "$binary" ]; then
        echo "fuzz_$name: not built ($binary missing)"
        failed=1
        continue
    fi
    mkdir -p "$out/$name/new" "$out/$name/artifacts"
    args=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$out/$name/artifacts/")
    for dict in "$dir"*.dict; do
        [ -f "$dict" ] && args+=(-dict="$dict")
    done
    echo "fuzz_$name: ${seconds} s from $dir""corpus"
    if "$binary" "${args[@]}" "$out/$name/new" "$dir/corpus" >"$out/$name.log" 2>&1; then
        grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$out/$name.log" | sed 's/^/    /'
    else
        failed=1
        echo "fuzz_$name FAILED; the end of its log:"
        tail -n 60 "$out/$name.log" | sed 's/^/    /'
        for artifact in "$out/$name/artifacts"/*; do
            [ -f "$artifact" ] || continue
            echo "    reproducer $(basename "$artifact") ($(stat -c %s "$artifact") bytes, base64):"
            base64 "$artifact" | head -c 65536 | sed 's/^/      /'
        done
    fi
    ran=$((ran + 1))
done

[ "$ran" -gt 0 ] || { echo "no fuzz targets found under fuzz/"; exit 1; }
exit "$failed"
