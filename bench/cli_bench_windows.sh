#!/usr/bin/env bash
# cli-bench-windows: what a credit read costs through palmota-cli.exe under wine, beside the
# Linux palmota-cli, on one emulated Reader answering at once. Not a test (times depend on
# the machine and its load): run it by hand from the source tree after both builds.
#
#   bench/cli_bench_windows.sh [BUILD_DIR] [WINDOWS_BUILD_DIR] [READS] [RUNS] [TOPUPS]
#
# The emulator (the Linux build's badge-reader-sim) serves a pseudo-terminal that a wine
# prefix of this script's own maps to COM7. Each side runs READS credit reads (default
# 500) in one `palmota-cli -` run, RUNS times (default 3), alternating. Wine is kept warm
# as an operator's session keeps it: one palmota-cli.exe waits on its input all along, so
# that the wine server and its desktop stay up (a program that starts an event loop, as
# palmota-cli does, gets a desktop; wine starts one when none is up, and may then hold the
# program some 10 s). The fastest run of each side counts. Printed per read: the whole run, and the run less one with no command (the
# program's start, the port's opening and the end), which leaves the exchanges alone.
# Target: the Windows exchanges at most 1.5 times the Linux ones.
#
# Then what the SQLite journal adds to a write: TOPUPS `topup 1` (default 100) in one run,
# with `--journal` on a new file and without, on each side. A top-up's reads and its write
# are the same both ways; the difference, divided by TOPUPS, is the journal's own cost: the
# row begun before the first byte and completed after, each a transaction synced to disk.
#
# Qt for Windows comes from PALMOTA_QT_WINDOWS (its prefix), or from the cache
# scripts/windows-sdk fills (PALMOTA_SDK_CACHE, default ~/.cache/palmota).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/windows-lib.sh
. "$root/scripts/windows-lib.sh"

build=${1:-build}
winbuild=${2:-build-windows}
reads=${3:-500}
runs=${4:-3}
topups=${5:-100}
qt=${PALMOTA_QT_WINDOWS:-$palmota_sdk_prefix}
cli=$build/cli/palmota-cli
sim=$build/sim/program/badge-reader-sim
wcli=$winbuild/palmota-cli.exe
[ -f "$wcli" ] || wcli=$winbuild/cli/palmota-cli.exe
for file in "$cli" "$sim" "$wcli" "$qt/bin/Qt6Core.dll"; do
  [ -e "$file" ] || { echo "cli_bench_windows: $file is missing" >&2; exit 1; }
done
wcli=$(realpath "$wcli")

work=$(mktemp -d)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d /tmp/palmota-bench-wine.XXXXXX)
mingw_dlls=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$qt/bin;Z:$mingw_dlls;Z:/usr/x86_64-w64-mingw32/lib"
export QT_PLUGIN_PATH="Z:$qt/plugins"
sim_pid=""
holder=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  [ -n "$holder" ] && exec 8>&- && wait "$holder" 2>/dev/null
  wineserver -k 2>/dev/null || true
  rm -rf "$work" "$WINEPREFIX"
}
trap cleanup EXIT INT TERM

wineboot -i >/dev/null 2>&1
link=$work/reader
"$sim" --link "$link" >/dev/null 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
ln -sfn "$link" "$WINEPREFIX/dosdevices/com7"

seq "$reads" | sed "s/.*/credit/" >"$work/commands"
: >"$work/nothing"
now() { date +%s%N; }
ms() { awk -v ns="$1" -v n="$2" 'BEGIN { printf "%.3f", ns / n / 1e6 }'; }

# run SIDE INPUT: the nanoseconds one run of `palmota-cli -` took, its answers in $work/out.
run() {
  local start took
  start=$(now)
  if [ "$1" = linux ]; then
    "$cli" -p "$link" - <"$2" >"$work/out"
  else
    wine "$wcli" -p 7 - <"$2" | tr -d '\r' >"$work/out"
  fi
  took=$(($(now) - start))
  echo "$took"
}

# Warm-up: wine's server, its desktop and the DLLs it maps, the emulator's first reply. The
# session that keeps them up opens no port: it is given no command until the end.
mkfifo "$work/hold"
wine "$wcli" -p 9 - <"$work/hold" >/dev/null 2>&1 &
holder=$!
exec 8>"$work/hold"
wine "$wcli" -p 7 credit >/dev/null
"$cli" -p "$link" credit >/dev/null

best() { sort -n | head -n 1; }
for side in linux windows; do : >"$work/$side.full"; : >"$work/$side.empty"; done
for _ in $(seq "$runs"); do
  for side in linux windows; do
    run "$side" "$work/commands" >>"$work/$side.full"
    answered=$(grep -c '^1500$' "$work/out" || true)
    [ "$answered" -eq "$reads" ] ||
      { echo "cli_bench_windows: $side answered 1500 to $answered of $reads reads" >&2; exit 1; }
    run "$side" "$work/nothing" >>"$work/$side.empty"
  done
done

for side in linux windows; do
  full=$(best <"$work/$side.full")
  empty=$(best <"$work/$side.empty")
  eval "${side}_full=$full ${side}_net=$((full - empty))"
  printf '%-8s %d credit reads in one run: %s ms per read; %s ms per read less the start (%s ms)\n' \
    "$side" "$reads" "$(ms "$full" "$reads")" "$(ms $((full - empty)) "$reads")" "$(ms "$empty" 1)"
done
echo "windows/linux: $(awk -v w="$windows_full" -v l="$linux_full" 'BEGIN { printf "%.2f", w / l }') whole runs," \
  "$(awk -v w="$windows_net" -v l="$linux_net" 'BEGIN { printf "%.2f", w / l }') exchanges (target at most 1.5)"

# The journal: TOPUPS top-ups a run, a new journal file each time.
seq "$topups" | sed "s/.*/topup 1/" >"$work/topups"
# journal_run SIDE yes|no: the nanoseconds one run of the top-ups took.
journal_run() {
  local start took count journal=()
  rm -f "$work/j.db"* "$WINEPREFIX/drive_c/j.db"*
  if [ "$2" = yes ]; then
    if [ "$1" = linux ]; then journal=(--journal "$work/j.db"); else journal=(--journal 'C:\j.db'); fi
  fi
  start=$(now)
  if [ "$1" = linux ]; then
    "$cli" -p "$link" "${journal[@]}" - <"$work/topups" >"$work/out"
  else
    wine "$wcli" -p 7 "${journal[@]}" - <"$work/topups" | tr -d '\r' >"$work/out"
  fi
  took=$(($(now) - start))
  count=$(grep -c '^credit: [0-9]* -> [0-9]*$' "$work/out" || true)
  [ "$count" -eq "$topups" ] ||
    { echo "cli_bench_windows: $1 (journal: $2) did $count of $topups top-ups" >&2; exit 1; }
  echo "$took"
}
for side in linux windows; do : >"$work/$side.plain"; : >"$work/$side.journal"; done
for _ in $(seq "$runs"); do
  for side in linux windows; do
    journal_run "$side" no >>"$work/$side.plain"
    journal_run "$side" yes >>"$work/$side.journal"
  done
done
for side in linux windows; do
  plain=$(best <"$work/$side.plain")
  journaled=$(best <"$work/$side.journal")
  printf '%-8s %d top-ups in one run: %s ms each without a journal, %s ms with SQLite: %s ms a write for the journal\n' \
    "$side" "$topups" "$(ms "$plain" "$topups")" "$(ms "$journaled" "$topups")" "$(ms $((journaled - plain)) "$topups")"
done
