#!/usr/bin/env bash
# Idle benchmark: what the launcher costs while the mail client it started just keeps running.
# Run inside a Wine session, after building TolvaneLauncher, DemoMailClient, DemoProxy and IdleLoop
# for x86_64:
#
#   xvfb-run -a bash cmake/wine-run.sh build/x86_64 bash bench/idle-bench.sh [seconds]   (default 60)
#
# Four programs run side by side: the launcher installed with the stand-ins (as the demo does), a
# bare message loop (IdleLoop: expected 0 wake-ups) and IdleLoop with a 100 ms and a 1 s SetTimer
# poll (expected seconds*10 and seconds wake-ups: they show the measurement sees wake-ups). After
# they settle, for the given time:
#   - wake-ups: Wine runs each Windows process as a Unix process, so each of their threads' run
#     counts (/proc/<pid>/task/<tid>/schedstat) are sampled every 5 ms; a wake-up is a run of
#     samples in which any thread of the process ran. (One Windows timer message costs several
#     Unix context switches under Wine, as each call to the Wine server blocks, so raw switch
#     counts are printed too but are not wake-ups.)
#   - CPU time (user + kernel): the same files' nanosecond run times. GetProcessTimes cannot be
#     used: under Wine 8 it gives the caller's own times for any other process's handle.
# Prints a human-readable summary and FIGURE|name|value|unit|comparison|target lines.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
settle=4  # the launcher brings the client forward 1 s after it starts; what follows is idle
bin="$PWD/build/x86_64/bin"
wine=/usr/lib/wine/wine64
work=$(mktemp -d /tmp/idlebench.XXXXXX)
tag=$(basename "$work")

names=(launcher bare poll100 poll1000)
images=("$work/launcher/TolvaneLauncher.exe" "$work/bare/IdleLoop.exe" "$work/poll100/IdleLoop.exe"
        "$work/poll1000/IdleLoop.exe")
arguments=("" "" 100 1000)

mkdir -p "$work/launcher" "$work/bare" "$work/poll100" "$work/poll1000"
cp "$bin/TolvaneLauncher.exe" "$bin/DemoMailClient.exe" "$bin/DemoProxy.exe" "$work/launcher/"
for name in bare poll100 poll1000; do cp "$bin/IdleLoop.exe" "$work/$name/"; done
folder="Z:${work//\//\\}\\launcher"
# The client is started with no end of its own, so it runs until it is ended. The command does not
# end in a quote: the platform's read drops a pair enclosing a whole value.
printf '[Path]\r\nMail="%s\\DemoMailClient.exe" --log "%s\\mail.log" --exit 0\r\nOndrel=%s\\DemoProxy.exe\r\n' \
  "$folder" "$folder" "$folder" > "$work/launcher/TolvaneOndrel.ini"

# Ends every process of this run (the launcher, the stand-ins it started, the comparison loops),
# each by its own id, found by the run's folder in its command line.
stop_all() {
  local dir command
  for dir in /proc/[0-9]*; do
    command=$(tr '\0' ' ' 2>/dev/null < "$dir/cmdline") || continue
    case "$command" in *"$tag"*) kill "${dir#/proc/}" 2>/dev/null || true ;; esac
  done
  rm -rf "$work"
}
trap stop_all EXIT

for i in "${!names[@]}"; do
  (cd "$(dirname "${images[$i]}")" && exec "$wine" "${images[$i]}" ${arguments[$i]}) </dev/null >/dev/null 2>&1 &
done
sleep "$settle"

# The Unix process that runs each program: the one whose command line starts with its path.
pids=()
for i in "${!names[@]}"; do
  pid=""
  for dir in /proc/[0-9]*; do
    command=$(tr '\0' ' ' 2>/dev/null < "$dir/cmdline") || continue
    case "$command" in "${images[$i]}"*) pid=${dir#/proc/}; break ;; esac
  done
  if [ -z "$pid" ]; then
    echo "idle-bench: ${names[$i]} is not running" >&2
    exit 1
  fi
  pids+=("$pid")
done

# The sampler: bash builtins only (no process per sample); `read -t` on a pipe nobody writes sleeps.
exec {nap}<> <(:)
declare -A last_ns last_runs
declare -a wakeups cpu_ns runs was_active
for i in "${!pids[@]}"; do
  wakeups[$i]=0; cpu_ns[$i]=0; runs[$i]=0; was_active[$i]=0
  for task in /proc/"${pids[$i]}"/task/*; do
    read -r ns _ count < "$task/schedstat" || continue
    last_ns[$task]=$ns; last_runs[$task]=$count
  done
done
start=${EPOCHREALTIME/./}
end=$((start + seconds * 1000000))
samples=0
while [ "${EPOCHREALTIME/./}" -lt "$end" ]; do
  read -r -t 0.005 -u "$nap" _ || true
  samples=$((samples + 1))
  for i in "${!pids[@]}"; do
    active=0
    for task in /proc/"${pids[$i]}"/task/*; do
      read -r ns _ count < "$task/schedstat" 2>/dev/null || continue
      if [ "$count" != "${last_runs[$task]:-0}" ]; then
        active=1
        runs[$i]=$((runs[$i] + count - ${last_runs[$task]:-0}))
        cpu_ns[$i]=$((cpu_ns[$i] + ns - ${last_ns[$task]:-0}))
        last_ns[$task]=$ns; last_runs[$task]=$count
      fi
    done
    if [ "$active" = 1 ] && [ "${was_active[$i]}" = 0 ]; then wakeups[$i]=$((wakeups[$i] + 1)); fi
    was_active[$i]=$active
  done
done
elapsed_ms=$(( (${EPOCHREALTIME/./} - start) / 1000 ))

# The launcher's sequence must have run: the client brought forward and still running.
if ! grep -q "foreground" "$work/launcher/mail.log" 2>/dev/null || grep -q "ended" "$work/launcher/mail.log"; then
  echo "idle-bench: the launcher did not bring the client forward, or the client ended" >&2
  exit 1
fi
ms() { awk -v ns="$1" 'BEGIN { printf "%.2f", ns / 1e6 }'; }

echo "Idle for $seconds s after ${settle} s to settle ($samples samples in $elapsed_ms ms, about every $((elapsed_ms / (samples > 0 ? samples : 1))) ms)"
printf '  %-28s %9s %12s %9s\n' program wake-ups "thread runs" "CPU ms"
labels=("launcher (client running)" "bare message loop" "SetTimer poll, 100 ms" "SetTimer poll, 1 s")
for i in "${!names[@]}"; do
  printf '  %-28s %9d %12d %9s\n' "${labels[$i]}" "${wakeups[$i]}" "${runs[$i]}" "$(ms "${cpu_ns[$i]}")"
done

echo "FIGURE|idle: launcher wake-ups in ${seconds} s|${wakeups[0]}|wake-ups|${wakeups[1]} (bare loop)|= 0"
# The CPU target is 10 ms per minute.
cpu_target=$(awk -v s="$seconds" 'BEGIN { printf "%.3g", s * 10 / 60 }')
echo "FIGURE|idle: launcher CPU in ${seconds} s|$(ms "${cpu_ns[0]}")|ms|$(ms "${cpu_ns[1]}") (bare loop)|< $cpu_target"
echo "FIGURE|idle check: 100 ms poll wake-ups in ${seconds} s|${wakeups[2]}|wake-ups|-|~ $((seconds * 10))"
echo "FIGURE|idle check: 1 s poll wake-ups in ${seconds} s|${wakeups[3]}|wake-ups|-|~ ${seconds}"
