#!/usr/bin/env bash
# A whole archive read on a noisy line, as a real RS-485 line with a USB converter gives one: the
# 65,535 records of a 32-channel instrument through k7104-sim paced at 115200 Bd, with a CRC error
# in about one reply of 500 (seeded, so every run meets the same line), read by k7104-cli with two
# retries. Prints name=value figures: the time against what the line itself allows (an
# 8-character request and a 141-character reply a record, 12 bit times a character), the CRC
# failures met, the records in the file and the CLI's exit code.
#   bench/archive_noisy_line.sh [BUILD_DIR]     (default build; RECORDS=N reads fewer records)
set -uo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
sim="$build/src/sim/k7104-sim"
cli="$build/src/cli/k7104-cli"
records="${RECORDS:-65535}"
baud=115200
fault="kind=badcrc,prob=0.002,seed=1"
for program in "$sim" "$cli"; do
  [ -x "$program" ] || { echo "archive_noisy_line: $program is missing; build first" >&2; exit 2; }
done

work="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --quiet --pace "$baud" --archive-depth "$records" --fault "$fault" >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.1
done
port="$(head -n 1 "$work/sim.out")"
[ -n "$port" ] || { echo "archive_noisy_line: the simulator gave no terminal" >&2; exit 2; }

start=$(date +%s.%N)
"$cli" --port "$port" --baud "$baud" --retries 2 --trace archive 1 "$records" \
  "$work/archive.txt" 2>"$work/trace.txt"
status=$?
end=$(date +%s.%N)

# A read that failed anyway: the last transactions say how.
[ "$status" -eq 0 ] || tail -n 8 "$work/trace.txt" | sed -E 's/(([0-9A-F]{2} ){8})([0-9A-F]{2} )+/\1... /' >&2
lines=$(wc -l <"$work/archive.txt" 2>/dev/null || echo 1)
crc_failures=$(grep -c "Ошибка CRC" "$work/trace.txt")
awk -v records="$records" -v read=$((lines - 1)) -v start="$start" -v end="$end" \
  -v baud="$baud" -v crc="$crc_failures" -v status="$status" -v fault="$fault" 'BEGIN {
  seconds = end - start
  limit = records * (8 + 141) * 12 / baud
  printf "archive_noisy_line fault=%s retries=2 rate=%d\n", fault, baud
  printf "records=%d\nrecords_in_file=%d\nexit_code=%d\ncrc_failures=%d\n", records, read, status, crc
  printf "seconds=%.1f\nline_limit_seconds=%.1f\nratio_to_line_limit=%.3f\n", seconds, limit, seconds / limit
}'
