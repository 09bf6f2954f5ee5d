# shellcheck shell=bash disable=SC2034  # its variables are the sourcing scripts'
# What scripts/windows-sdk, scripts/check-windows and scripts/windows-package share, sourced
# by each once it has set `root` to the checkout:
#   - the Qt for Windows the project builds against, and where it is kept;
#   - a program's window under wine on a virtual display (Xvfb).

palmota_windows_lib=${BASH_SOURCE[0]}

# Qt 6.4.2 for x86_64-w64-mingw32, shared, Release: Core, Gui, Widgets, OpenGL, Sql with its
# SQLite (built in) and PostgreSQL drivers, Test, and libpq built with OpenSSL 3.0 (TLS to
# a PostgreSQL journal). The version is Debian's own Qt's: its host tools (moc, rcc, uic)
# build for both systems. The Windows programs take their serial line from the system's comm
# API, so Qt Serial Port is not part of it.
palmota_qt_version=6.4.2
palmota_sdk_name=qt-$palmota_qt_version-mingw64-sql
# The prebuilt archive, a cache of what `scripts/windows-sdk` builds from source, kept beside
# the checkout; PALMOTA_WINDOWS_SDK_ARCHIVE set empty asks for the build from source.
palmota_sdk_archive=${PALMOTA_WINDOWS_SDK_ARCHIVE-$root/../shared/sdk/$palmota_sdk_name.tar.xz}
# Beside it, the add-on scripts/windows-sdk unpacks over it: OpenSSL and the libpq built with
# it (tls-mingw64.tar.xz, or the file PALMOTA_WINDOWS_TLS_ARCHIVE names).
# Where Qt for Windows is unpacked or built, outside the checkout and reused by later runs.
palmota_sdk_cache=${PALMOTA_SDK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/palmota}
palmota_sdk_dir=$palmota_sdk_cache/$palmota_sdk_name
palmota_sdk_prefix=$palmota_sdk_dir/prefix

palmota_wine=$(command -v wine64 || command -v wine || echo wine)

# option_value OPTION ARGS...: checks that OPTION, the first of ARGS, is followed by a value
# (not empty, not another option); otherwise says so on standard error and fails, and the
# calling script ends with status 1 through its own `die`.
option_value() {
  if [ $# -ge 2 ] && [ -n "$2" ] && [ "${2#--}" = "$2" ]; then return 0; fi
  echo "$(basename "$0"): $1 needs a value" >&2
  return 1
}

# windows_on_display SCREEN FUNCTION ARGS...: runs the shell function FUNCTION with ARGS in a
# shell of its own that has this library, on a new virtual display of SCREEN (800x700x24).
# The function goes over as its text: xvfb-run is a POSIX shell script, whose shell passes
# no exported bash functions on.
windows_on_display() {
  local screen=$1 function=$2
  shift
  # shellcheck disable=SC2016  # expanded by the inner shell
  xvfb-run -a -s "-screen 0 $screen" bash -c '. "$0" && eval "$1" && shift && "$@"' \
    "$palmota_windows_lib" "$(declare -f "$function")" "$@"
}

# wine_window_start TITLE LOG PROGRAM ARGS...: starts PROGRAM under wine, its standard error
# into LOG, and waits until its window captioned TITLE shows; window_id and window_pid are
# then set. The wine server already running (one a console program left) has no display,
# and a window asked of it never shows: it is ended first, so that the program's start
# brings up one with this display's. A window that still does not show within a minute:
# the program is ended and started again, three times in all.
wine_window_start() {
  local title=$1 log=$2 attempt
  shift 2
  window_id=""
  for attempt in 1 2 3; do
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    "$palmota_wine" "$@" 2>"$log" &
    window_pid=$!
    window_id=$(timeout 60 xdotool search --sync --onlyvisible --name "$title" | head -1)
    [ -n "$window_id" ] && return 0
    echo "   attempt $attempt: no window within 60 s" >&2
    # The shell's own word on the program wine's end kills stays out of the log.
    { wineserver -k || true; wait "$window_pid" || true; } 2>/dev/null
  done
  return 1
}

# wine_window_end: closes the window wine_window_start opened and ends wine.
wine_window_end() {
  {
    xdotool windowclose "$window_id" || true
    sleep 1
    wineserver -k || true
    wait "$window_pid" || true
  } 2>/dev/null
}
