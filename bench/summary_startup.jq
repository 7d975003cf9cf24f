# The whole-process figures: start-up times (an object of program name to run times in seconds)
# and peak memory ($rss: lines of program name and kilobytes), as rows of a Markdown table.
def median: sort | if length % 2 == 1 then .[length / 2 | floor] else (.[length / 2 - 1] + .[length / 2]) / 2 end;
def ms: "\(. * 1e4 | round / 10) ms";
def mb: "\(. / 1024 * 10 | round / 10) MB";
(map_values(median)) as $s
| ($rss | split("\n") | map(select(length > 0) | split(" ")) | group_by(.[0])
   | map({key: .[0][0], value: (map(.[1] | tonumber) | median)}) | from_entries) as $m
| "| Start-up, exec to first paint of the main window, vs bare window | \($s.velmora | ms) | \($s.bare | ms) | \($s.velmora / $s.bare * 100 | round / 100)× | ≤ 1.25×: \(if $s.velmora <= 1.25 * $s.bare then "met" else "MISSED" end) |",
  "| Start-up vs bare window with one caption (Qt's fonts started) | \($s.velmora | ms) | \($s["bare+caption"] | ms) | \($s.velmora / $s["bare+caption"] * 100 | round / 100)× | |",
  "| Peak memory vs bare window (difference \($m.velmora - $m.bare | mb)) | \($m.velmora | mb) | \($m.bare | mb) | \($m.velmora / $m.bare * 100 | round / 100)× | ≤ bare + 8 MB: \(if $m.velmora - $m.bare <= 8192 then "met" else "MISSED" end) |",
  "| Peak memory vs bare window with one caption (difference \($m.velmora - $m["bare+caption"] | mb)) | \($m.velmora | mb) | \($m["bare+caption"] | mb) | \($m.velmora / $m["bare+caption"] * 100 | round / 100)× | |"
