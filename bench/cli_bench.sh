#!/bin/sh
# cli-bench: what a credit read costs through palmota-cli, end to end, against the
# emulated Reader answering at once. Not a test (times depend on the machine): run it by
# hand from the source tree after a build.
#
#   bench/cli_bench.sh [BUILD_DIR] [READS] [TOPUPS]
#
# 1. READS credit reads in one run of `palmota-cli -`, fed on standard input: process
#    start, one opening of the port, the exchanges, the answers read back. Target: at
#    most 3 ms a read, 2 ms of which is the silence after the credit's reply that tells
#    it has ended (about 0.3 ms without it).
# 2. The same with one process a read (a tenth as many), as scripts did before.
# 3. pyserial doing the same exchanges in a loop, when python3-serial is installed.
# 4. TOPUPS `topup 1` in one run of `palmota-cli -`, without a journal and with an SQLite
#    one: what recording a write costs, the row committed before it and its outcome after,
#    each commit in the journal file itself.
set -eu

build=${1:-build}
reads=${2:-1000}
topups=${3:-100}
cli=$build/cli/palmota-cli
sim=$build/sim/program/badge-reader-sim
here=$(dirname "$0")
work=$(mktemp -d)
trap 'kill "$sim_pid" 2>/dev/null; rm -rf "$work"' EXIT INT TERM

"$sim" >"$work/port" 2>/dev/null &
sim_pid=$!
while [ ! -s "$work/port" ]; do sleep 0.05; done
port=$(head -n 1 "$work/port")

now() { date +%s%N; }
per_read() { awk -v ns="$1" -v n="$2" 'BEGIN { printf "%.3f", ns / n / 1e6 }'; }

yes credit | head -n "$reads" >"$work/commands"
"$cli" -p "$port" credit >/dev/null  # warm-up: caches, the emulator's first reply

start=$(now)
"$cli" -p "$port" - <"$work/commands" >"$work/answers"
took=$(($(now) - start))
answered=$(grep -c '^1500$' "$work/answers" || true)
echo "palmota-cli -: $reads credit reads in one run: $(per_read "$took" "$reads") ms per read" \
     "($answered answered 1500; target at most 3 ms)"

singles=$((reads / 10))
start=$(now)
i=0
while [ "$i" -lt "$singles" ]; do
    "$cli" -p "$port" credit >/dev/null
    i=$((i + 1))
done
took=$(($(now) - start))
echo "palmota-cli credit: one process a read ($singles runs): $(per_read "$took" "$singles") ms per read"

# Debian's python3-serial is for the system's interpreter, which another on PATH may hide.
python=
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import serial' 2>/dev/null; then python=$candidate; break; fi
done
if [ -n "$python" ]; then
    start=$(now)
    "$python" "$here/pyserial_bench.py" "$port" "$reads"
    took=$(($(now) - start))
    echo "pyserial, with the interpreter's start: $(per_read "$took" "$reads") ms per read"
else
    echo "pyserial: not installed (apt-get install python3-serial to compare)"
fi

yes "topup 1" | head -n "$topups" >"$work/topups"
start=$(now)
"$cli" -p "$port" - <"$work/topups" >/dev/null
plain=$(($(now) - start))
start=$(now)
"$cli" -p "$port" --journal "$work/journal.db" - <"$work/topups" >/dev/null
journaled=$(($(now) - start))
echo "palmota-cli -: $topups top-ups in one run: $(per_read "$plain" "$topups") ms per write" \
     "without a journal, $(per_read "$journaled" "$topups") ms with an SQLite one" \
     "($(per_read "$((journaled - plain))" "$topups") ms added)"
