#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build of their own and runs each for a bounded
# time, side by side, from a working copy of the seed corpus in fuzz/corpus (the repository's
# corpus is never written). Fails on any crash, leak, sanitizer report or failed check.
# Usage: tools/fuzz.sh [seconds per fuzzer, default 30]
# A failing input is kept in build/fuzz/run/<fuzzer>/artifacts/; run the fuzzer on that file alone
# to see it again: build/fuzz/fuzz/<fuzzer>_fuzzer <file>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
build=$root/build/fuzz
fuzzers=(number_text info_file)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_BUILD_FUZZERS=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${fuzzers[@]/%/_fuzzer}"

pids=()
for name in "${fuzzers[@]}"; do
    work=$build/run/$name
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$root/fuzz/corpus/$name/"* "$work/corpus/"
    # The inputs libFuzzer finds go into this working copy. The timeout only tells a hang.
    "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -max_len=8192 -timeout=60 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$work/corpus" >"$work/log" 2>&1 &
    pids+=($!)
done

failed=0
ok=0
for i in "${!fuzzers[@]}"; do
    name=${fuzzers[$i]}
    log=$build/run/$name/log
    if wait "${pids[$i]}"; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
        echo "fuzz: $name ok (${runs:-?} runs in ${seconds} s)"
        ok=$((ok + 1))
    else
        failed=$((failed + 1))
        tail -n 60 "$log" >&2
        echo "fuzz: $name FAILED; the input is in $build/run/$name/artifacts/, the log in $log" >&2
    fi
done
echo "fuzz: $ok passed, $failed failed"
[ "$failed" -eq 0 ]
