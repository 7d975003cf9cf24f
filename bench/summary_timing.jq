# The timing figures of timing_bench (its JSON output), each beside its floor from the same run,
# as rows of the summary's Markdown table.
def show:
    if . < 1e3 then "\(. | round) ns"
    elif . < 1e6 then "\(. / 1e2 | round / 10) µs"
    else "\(. / 1e5 | round / 10) ms" end;
def ratio($a; $b): "\($a / $b * 100 | round / 100)×";
def medians:
    .benchmarks | group_by(.run_name)
    | map((map(select(.aggregate_name == "median")) + map(select(.run_type == "iteration")))[0]);

medians | map({key: .run_name, value: .}) | from_entries as $b
| ($b["BM_TwoBareWrites"].cpu_time) as $writes
| ((100, 1000, 10000) as $us
   | $b["BM_PulseTrain/width_us:\($us)/iterations:1"] as $p
   | $b["BM_SleepAlone/width_us:\($us)/iterations:1"] as $s
   | "| Pulse of \($us | . * 1000 | show): width error p50 / p99 | \($p.width_err_p50_ns | show) / \($p.width_err_p99_ns | show) | clock_nanosleep alone, late p50 / p99: \($s.late_p50_ns | show) / \($s.late_p99_ns | show); two bare writes: \($writes | show) | p99 \(ratio($p.width_err_p99_ns; $s.late_p99_ns)) | |",
     "| Same, period error p50 / p99 | \($p.period_err_p50_ns | show) / \($p.period_err_p99_ns | show) | as above | p99 \(ratio($p.period_err_p99_ns; $s.late_p99_ns)) | |"),
  ($b["BM_FastSampler"].samples_per_s as $fast | $b["BM_BareReadLoop"].samples_per_s as $bare
   | "| `--fast` samples per second, simulated port | \($fast / 1e6 * 10 | round / 10) M/s | a bare loop of the same three reads: \($bare / 1e6 * 10 | round / 10) M/s | \(ratio($fast; $bare)) | |")
