#!/usr/bin/env bash
# Builds the default preset and runs every benchmark: the per-call suite (Google Benchmark, on
# the offscreen platform and the simulated port) and the whole-process start-up against a bare
# Qt window (under Xvfb, as a user who cannot reach any port, so that the program falls back to
# the simulated one). Every figure is printed beside a baseline measured in the same run, as a
# ratio. The raw results and the summary are kept in build/default/bench-results/.
#
#   tools/bench.sh            build, measure, summarise
#   tools/bench.sh --summary  the summary of the last run again
#   tools/bench.sh --ports    the cost of one access by each port path, pulse trains and
#                             `--fast` sampling through ppdev and the helper, inside the
#                             emulated machine (bench/port_paths_bench.cpp), and `velmora pins
#                             --watch` at 20 Hz on the simulated port; not run by CI
#   tools/bench.sh --instructions  a typed character and the start-up in instructions (callgrind),
#                             which other work on a shared machine does not move; not run by CI
set -euo pipefail
cd "$(dirname "$0")/.."

# Each can be set in the environment for a quicker run.
: "${MIN_TIME:=0.5}"  # seconds of each per-call benchmark, per repetition
: "${REPETITIONS:=3}" # the per-call figures are medians over these
: "${ROUNDS:=5}"      # start-up: rounds in which the programs take turns...
: "${RUNS:=10}"       # ...each run this many times per round
: "${RSS_RUNS:=9}"    # peak memory: runs of each program, the median kept
export MIN_TIME REPETITIONS ROUNDS RUNS RSS_RUNS

build=build/default
results=$build/bench-results

if [ "${1:-}" = "--ports" ]; then
    tools/install-deps.sh
    cmake --preset default >/dev/null
    cmake --build --preset default --target velmora port_paths_bench port_guest_test \
        velmora-portio-static velmora-cli-static
    mkdir -p "$results"
    tools/qemu-port-test.sh --guest $build/port/linux/tests/port_guest_test \
        --helper $build/port/linux/tests/velmora-portio-static \
        --cli $build/command_line/tests/velmora-cli-static \
        --bench $build/bench/port_paths_bench --work $build/qemu-bench |
        grep -E ' ns |of which|watch|boot|timing:|pulse|--fast' | tee "$results/ports.txt"
    # The same watch on this machine, on the simulated port: 100 samples at 20 Hz.
    /usr/bin/time -f '%U %S %e' -o "$results/watch-time.txt" \
        $build/app/velmora pins --simulated --watch --interval 50 --count 100 >/dev/null
    read -r user sys wall <"$results/watch-time.txt"
    awk -v u="$user" -v s="$sys" -v w="$wall" 'BEGIN {
        printf "pins --watch at 20 Hz on this machine, simulated port, 100 samples: %.2f s of " \
               "processor in %.2f s, %.2f %% of a core\n", u + s, w, 100 * (u + s) / w }' |
        tee -a "$results/ports.txt"
    exit 0
fi

# The start-up programs: a name, then the command line.
startup_programs=(
    "bare|$build/bench/bare_window_startup"
    "bare+caption|$build/bench/bare_window_startup --caption"
    "velmora|$build/app/velmora_startup"
)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

install_tools() {
    tools/install-deps.sh
    local missing=() p
    for p in hyperfine jq time xvfb xauth valgrind; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
            --no-install-recommends "${missing[@]}" ||
            echo "(hyperfine missing: the start-up runs are timed by a loop of this script)"
    fi
}

# Runs inside the X server, as the user the programs run as; writes into the folder given.
run_startup() {
    local out=$1 p name command round run t0 t1
    if command -v hyperfine >/dev/null; then
        # Rounds, so that a change of load on the machine touches every program alike.
        for ((round = 1; round <= ROUNDS; round++)); do
            local args=()
            for p in "${startup_programs[@]}"; do args+=(--command-name "${p%%|*}" "${p#*|}"); done
            hyperfine -N --style none --warmup 2 --runs "$RUNS" \
                --export-json "$out/startup-$round.json" "${args[@]}" >/dev/null 2>&1
        done
        jq -s '[.[].results[]] | group_by(.command)
               | map({(.[0].command): (map(.times) | add)}) | add' "$out"/startup-*.json \
            >"$out/startup.json"
    else
        for ((run = 0; run < 2 + ROUNDS * RUNS; run++)); do
            for p in "${startup_programs[@]}"; do
                name=${p%%|*} command=${p#*|}
                t0=$EPOCHREALTIME
                $command >/dev/null 2>&1
                t1=$EPOCHREALTIME
                ((run < 2)) || echo "$name $t0 $t1" # the first two are the warm-up
            done
        done | jq -Rn '[inputs | split(" ") | {(.[0]): [(.[2] | tonumber) - (.[1] | tonumber)]}]
                       | reduce .[] as $run ({}; . as $all | $run | to_entries[0] as $e
                                                 | $all | .[$e.key] += $e.value)' \
            >"$out/startup.json"
    fi
    for ((run = 0; run < RSS_RUNS; run++)); do
        for p in "${startup_programs[@]}"; do
            name=${p%%|*} command=${p#*|}
            /usr/bin/time -f "$name %M" -a -o "$out/peak-rss.txt" $command >/dev/null 2>&1
        done
    done
}

measure() {
    install_tools
    cmake --preset default >/dev/null
    cmake --build --preset default
    rm -rf "$results"
    mkdir -p "$results"

    echo "== per call (Google Benchmark: min time $MIN_TIME s, median of $REPETITIONS)"
    QT_QPA_PLATFORM=offscreen "$build/bench/velmora_bench" --benchmark_min_time="$MIN_TIME" \
        --benchmark_repetitions="$REPETITIONS" --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/calls.json" --benchmark_out_format=json
    # The reader once more with every large buffer fresh from the kernel, as at the first load
    # in a new process: above, a small file's buffers are reused from one iteration to the next.
    GLIBC_TUNABLES=glibc.malloc.mmap_threshold=131072 QT_QPA_PLATFORM=offscreen \
        "$build/bench/velmora_bench" --benchmark_min_time="$MIN_TIME" \
        --benchmark_filter='BM_ReadAllBaseline|BM_ReadInfoFile/MB:[0-9]+/cp1252:0' \
        --benchmark_repetitions="$REPETITIONS" --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/calls-fresh.json" --benchmark_out_format=json >/dev/null

    echo "== timing (the real clock on the simulated port, median of $REPETITIONS)"
    "$build/bench/timing_bench" --benchmark_min_time="$MIN_TIME" \
        --benchmark_repetitions="$REPETITIONS" --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/timing.json" --benchmark_out_format=json

    echo "== whole process (Xvfb: $ROUNDS rounds of $RUNS runs; peak memory: $RSS_RUNS runs)"
    prepare_startup_user || return 0
    as_startup_user "$0" --startup "$work"
    cp "$work/startup.json" "$work/peak-rss.txt" "$results/"
}

# Sets runner, the user the start-up is measured as, and work, a private folder of that user's.
prepare_startup_user() {
    # The program falls back to the simulated port only where it finds no way to a real one, so
    # the runs are made by a user with no capabilities and no groups, who cannot gain any. A user
    # who can open a parallel port device would reach the real port: then there are no runs.
    local device
    runner=(setpriv --no-new-privs)
    work=$(mktemp -d)
    trap "rm -rf '$work'" EXIT
    if [ "$(id -u)" -eq 0 ]; then
        runner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --inh-caps=-all
            --bounding-set=-all --no-new-privs)
        chown nobody:nogroup "$work"
    fi
    chmod 0700 "$work"
    for device in /dev/parport*; do
        if [ -e "$device" ] && "${runner[@]}" test -r "$device" -o -w "$device"; then
            echo "skipped: this user can open $device, so the runs would reach the real port"
            return 1
        fi
    done
}

# Runs the command on one X server, as that user, with work as its runtime folder.
as_startup_user() {
    # One X server for all runs; -ac lets the unprivileged user in without the server's cookie.
    XDG_RUNTIME_DIR=$work xvfb-run -a -s '-screen 0 1024x768x24 -ac -nolisten tcp' \
        "${runner[@]}" "$@"
}

instructions() {
    install_tools
    cmake --preset default >/dev/null
    cmake --build --preset default --target velmora_bench velmora_startup bare_window_startup velmora
    mkdir -p "$results"
    echo "== instructions (callgrind)"
    prepare_startup_user || return 0
    {
        bench/count_instructions.py keys "$build/bench/velmora_bench"
        as_startup_user env XDG_RUNTIME_DIR="$work" bench/count_instructions.py startup \
            "bare+caption=$build/bench/bare_window_startup --caption" \
            "velmora=$build/app/velmora_startup"
    } | tee "$results/instructions.md"
}

summarise() {
    echo "== summary"
    {
        echo "| Measure | Velmora | Baseline | Ratio | Target |"
        echo "|---|---|---|---|---|"
        jq -r --slurpfile fresh "$results/calls-fresh.json" -f bench/summary_calls.jq \
            "$results/calls.json"
        if [ -f "$results/timing.json" ]; then
            jq -r -f bench/summary_timing.jq "$results/timing.json"
        fi
        if [ -f "$results/startup.json" ]; then
            jq -r --rawfile rss "$results/peak-rss.txt" -f bench/summary_startup.jq \
                "$results/startup.json"
        fi
    } | tee "$results/summary.md"
}

case "${1:-}" in
--startup) run_startup "$2" ;;
--summary) summarise ;;
--instructions) instructions ;;
*)
    measure
    summarise
    ;;
esac
