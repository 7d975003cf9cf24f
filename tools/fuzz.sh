#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in a build of their own and runs each in turn for a
# bounded time, from a working copy of the seed corpus in fuzz/corpus (the repository's corpus is
# never written). Fails on any crash, leak, sanitizer report or failed check.
# Usage: tools/fuzz.sh [seconds per fuzzer, default 30]
# A failing input is kept in build/fuzz/run/<fuzzer>/artifacts/; run the fuzzer on that file alone
# to see it again: build/fuzz/fuzz/<fuzzer>_fuzzer <file>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVELMORA_BUILD_FUZZERS=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target number_text_fuzzer info_file_fuzzer pci_ids_fuzzer

failed=0
for name in number_text info_file pci_ids; do
    work=$build/run/$name
    rm -rf "$work" && mkdir -p "$work/artifacts" && cp -r "$root/fuzz/corpus/$name" "$work/corpus"
    # The inputs libFuzzer finds go into this working copy. The timeout only tells a hang.
    if "$build/fuzz/${name}_fuzzer" -max_total_time="${1:-30}" -max_len=8192 -timeout=60 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" \
        >"$work/log" 2>&1; then
        echo "fuzz: $name ok ($(grep -m1 '^stat::number_of_executed_units' "$work/log"))"
    else
        failed=1
        tail -n 60 "$work/log" >&2
        echo "fuzz: $name FAILED; the input is in $work/artifacts/, the log in $work/log" >&2
    fi
done
exit "$failed"
