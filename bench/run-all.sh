#!/usr/bin/env bash
# Runs every benchmark and prints one table of the figures the project tracks: each figure, its
# measured value, the comparison run's value, the target and whether it is met.
#
#   bash bench/run-all.sh [idle seconds]     (default 60; about 5 minutes with a built tree)
#
# Builds what it needs (x86_64 benchmarks and stand-ins, the i686 product for its sizes), runs the
# benchmarks in one Wine session of its own under Xvfb, and keeps their full output in
# build/bench/run-all.log. Every benchmark prints FIGURE|name|value|unit|comparison|target lines;
# this only collects and judges them. Target forms: "= N", "< N", "<= N", "~ N" (within 10 %),
# "<= comparison + N", "<= N x comparison"; "-" is no target.
set -euo pipefail
cd "$(dirname "$0")/.."

wine=/usr/lib/wine/wine64

# Inside the Wine session: the benchmarks that run under Wine, one after the other.
if [ "${1:-}" = --in-session ]; then
  idle_seconds=$2
  bin=build/x86_64/bin
  echo "== LaunchBench" >&2
  (cd "$bin" && "$wine" LaunchBench.exe 30)
  echo "== WinListBench" >&2
  "$wine" "$bin/WinListBench.exe"
  echo "== SequenceBench" >&2
  (cd "$bin" && "$wine" SequenceBench.exe 7)
  echo "== idle benchmark, $idle_seconds s" >&2
  bash bench/idle-bench.sh "$idle_seconds"
  exit 0
fi

idle_seconds=${1:-60}
started=$SECONDS
# A step that fails shows the end of the log, where its error is.
failed() {
  tail -n 30 "$log" >&2
  exit 1
}
bash cmake/deps.sh
mkdir -p build/bench
log="$PWD/build/bench/run-all.log"
: > "$log"

echo "== building" >&2
cmake --preset x86_64 >/dev/null
cmake --build build/x86_64 --target TolvaneLauncher DemoMailClient DemoProxy SessionKeeper LaunchBench WinListBench \
  SequenceBench IdleLoop >>"$log" 2>&1 || failed

# Sizes of the product (i686, stripped) and of the reference programs.
echo "== exe sizes" >&2
bash bench/exe-sizes.sh >>"$log" 2>&1 || failed

xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh build/x86_64 bash bench/run-all.sh --in-session \
  "$idle_seconds" >>"$log" || failed

echo
grep '^FIGURE|' "$log" | tr -d '\r' | awk -F'|' '
  function number(text) { return match(text, /^-?[0-9]+(\.[0-9]+)?/) ? substr(text, RSTART, RLENGTH) + 0 : "" }
  # met / missed / - (no target) / ? (a target this cannot read)
  function judge(value, comparison, target,    op, rest, bound, v, c) {
    gsub(/ /, "", target)
    gsub(/≤/, "<=", target)
    if (target == "" || target == "-") return "-"
    v = number(value)
    if (v == "") return "missed"
    op = "<="
    if (match(target, /^(<=|>=|<|>|=|~)/)) { op = substr(target, 1, RLENGTH); target = substr(target, RLENGTH + 1) }
    c = number(comparison)
    if (target ~ /^comparison\+[0-9.]+$/) {
      if (c == "") return "?"
      bound = c + substr(target, 12)
    } else if (target ~ /^[0-9.]+xcomparison$/) {
      if (c == "") return "?"
      bound = number(target) * c
    } else if (number(target) != "") {
      bound = number(target)
    } else {
      return "?"
    }
    if (op == "<=") return v <= bound ? "met" : "missed"
    if (op == "<") return v < bound ? "met" : "missed"
    if (op == ">=") return v >= bound ? "met" : "missed"
    if (op == ">") return v > bound ? "met" : "missed"
    if (op == "=") return v == bound ? "met" : "missed"
    return (v - bound <= 0.1 * bound && bound - v <= 0.1 * bound) ? "met" : "missed"
  }
  BEGIN { format = "%-56s %-22s %-34s %-22s %s\n"; printf format, "figure", "measured", "comparison run", "target", "" }
  { printf format, $2, $3 " " $4, $5, $6, judge($3, $5, $6) }
'
echo
echo "Full output: $log ($((SECONDS - started)) s)"
