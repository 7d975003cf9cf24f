# The per-call figures of velmora_bench (its JSON output), each beside its baseline from the
# same run, as rows of a Markdown table. $fresh[0]: the reader's run with fresh memory.
def ns: .cpu_time * {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[.time_unit];
def show:
    if . < 1e3 then "\(. * 10 | round / 10) ns"
    elif . < 1e6 then "\(. / 1e2 | round / 10) µs"
    else "\(. / 1e5 | round / 10) ms" end;
def ratio($a; $b): "\($a / $b * 100 | round / 100)×";
def rate: "\(. / 1048576 | round) MB/s";
def met($ok): if $ok then "met" else "MISSED" end;
# The median over the repetitions of each benchmark (a single run where there were none).
def medians:
    .benchmarks | group_by(.run_name)
    | map((map(select(.aggregate_name == "median")) + map(select(.run_type == "iteration")))[0]);

medians as $all
| ($all | map({key: .run_name, value: ns}) | from_entries) as $t
| ($all | map({key: .run_name, value: .bytes_per_second}) | from_entries) as $rate
| ($fresh[0] | medians | map({key: .run_name, value: ns}) | from_entries) as $tf
| ($fresh[0] | medians | map({key: .run_name, value: .bytes_per_second}) | from_entries) as $ratef
| def row($text; $ours; $base; $target):
      "| \($text) | \($t[$ours] | show) | \($t[$base] | show) | \(ratio($t[$ours]; $t[$base])) | \($target) |";
  def perMB($times; $name):
      ($times[$name | sub("MB:1/"; "MB:7/")] / 7) as $at7
      | "\($at7 | show) at 7 MB, \($times[$name] | show) at 1 MB | | \(ratio($at7; $times[$name]))";
  (["\"0\"", "\" 255\"", "\"&H378\"", "\"-1234.5678\"", "\"1.5E+300\""] | to_entries[]
   | row("`TextValue(\(.value))` vs `QString::toDouble` (`toInt(16)` for hex)";
         "BM_TextValue/text:\(.key)"; "BM_TextValueBaseline/text:\(.key)"; "")),
  (["0", "255", "-1", "0.5", "-1234.5678"] | to_entries[] as $n
   | ("NumberText", "PlainNumberText")
   | row("`\(.)(\($n.value))` vs `QString::number(x, 'g', 15)`"; "BM_\(.)/number:\($n.key)";
         "BM_NumberTextBaseline/number:\($n.key)"; "")),
  ([["nothing changes", 0], ["the port flips all 8 bits", 1]][] as [$what, $c]
   | ($t["BM_ActualizarPantalla/changing:\($c)"] - $t["BM_PortReadsBaseline/changing:\($c)"]) as $own
   | row("`ActualizarPantalla`, \($what), vs the two port reads alone: own time \($own | show)";
         "BM_ActualizarPantalla/changing:\($c)"; "BM_PortReadsBaseline/changing:\($c)";
         "own time < 20 µs: \(met($own < 20000))")),
  "| One typed character, key event to repainted indicators, vs a bare line edit | \($t["BM_TypedCharacter"] / 2 | show) | \($t["BM_TypedCharacterBaseline"] / 2 | show) | \(ratio($t["BM_TypedCharacter"]; $t["BM_TypedCharacterBaseline"])) | |",
  ((1, 7) as $mb
   | "BM_ReadInfoFile/MB:\($mb)/cp1252:0" as $reader
   | "BM_FormAyudaLoad/MB:\($mb)/iterations:3" as $window
   | "BM_TextDocumentFloor/MB:\($mb)/iterations:3" as $floor
   | row("Information file reader, \($mb) MB: \($rate[$reader] | rate), vs `QFile::readAll`";
         $reader; "BM_ReadAllBaseline/\($mb)"; "≥ 100 MB/s: \(met($rate[$reader] >= 100 * 1048576))"),
     "| Same, every buffer fresh from the kernel as at a first load: \($ratef[$reader] | rate) | \($tf[$reader] | show) | \($tf["BM_ReadAllBaseline/\($mb)"] | show) | \(ratio($tf[$reader]; $tf["BM_ReadAllBaseline/\($mb)"])) | ≥ 100 MB/s: \(met($ratef[$reader] >= 100 * 1048576)) |",
     row("Information window load, \($mb) MB: \($rate[$window] | rate), vs Qt's text document alone (\($rate[$floor] | rate))";
         $window; $floor; "≥ 100 MB/s: \(met($rate[$window] >= 100 * 1048576))")),
  ("BM_PinWindowSecond/shown:1/iterations:5/real_time" as $on
   | row("Pin window, one second on screen sampling at 20 Hz (\($t[$on] / 1e5 | round / 100) % of a core), vs minimised";
         $on; "BM_PinWindowSecond/shown:0/iterations:5/real_time"; "< 1 % of a core: \(met($t[$on] < 1e7))")),
  "| Reader, time per MB (fresh memory) | \(perMB($tf; "BM_ReadInfoFile/MB:1/cp1252:0")) | linear: 1× |",
  "| Reader, time per MB (memory reused by the loop) | \(perMB($t; "BM_ReadInfoFile/MB:1/cp1252:0")) | linear: 1× |",
  "| Window load, time per MB | \(perMB($t; "BM_FormAyudaLoad/MB:1/iterations:3")) | linear: 1× |",
  "| Qt's text document alone, time per MB | \(perMB($t; "BM_TextDocumentFloor/MB:1/iterations:3")) | |"
