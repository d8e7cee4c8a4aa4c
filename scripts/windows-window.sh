#!/usr/bin/env bash
# The Windows program's window under Wine on a virtual X server: "Создать" (Ctrl+N), a file name
# typed into the save dialog, the download from COM5, and the rows in the grid.
# Usage (scripts/test-windows.sh runs it): windows-window.sh FILE.db [SCREENSHOT.png [ARGUMENT...]]
# The program's arguments are "--port COM5" unless given; COM5 must then lead to an instrument
# (the Wine prefix's dosdevices/com5 link). With --demo the program's own simulated port serves.
set -euo pipefail
if [[ -z "${VKT_UNDER_XVFB:-}" ]]; then
  export VKT_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
root=$(cd "$(dirname "$0")/.." && pwd)
file=$1
shot=${2:-}
shift $(($# < 2 ? $# : 2))
args=("$@")
[[ ${#args[@]} -gt 0 ]] || args=(--port COM5)
export WINEPREFIX="${WINEPREFIX:-$root/build/wine}" WINEDEBUG=-all
# A Wine already running in this prefix would keep the display it started with (or none).
/usr/lib/wine/wineserver -k 2>/dev/null || true

/usr/lib/wine/wine64 "$root/build/windows/bin/vkt-rs7.exe" "${args[@]}" >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

# Waits up to $1 tenths of a second for the main window: titled "ВКТ - РС7" like the splash
# window, but as wide as the screen. Prints its id.
wait_main_window() {
  local i id width
  for ((i = 0; i < $1; i++)); do
    for id in $(xdotool search --onlyvisible --name '^ВКТ - РС7' 2>/dev/null); do
      width=$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p')
      [[ ${width:-0} -ge 800 ]] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  return 1
}

main=$(wait_main_window 1200) || { echo "no main window"; exit 1; }
sleep 2
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+n
# Wine's own save dialog opens with the keyboard in its file name box (it has no title to wait for).
sleep 5
winfile=$(/usr/lib/wine/wine64 winepath -w "$file" 2>/dev/null | tr -d '\r')
# The box may hold the name chosen last time: it is replaced.
xdotool key End shift+Home
xdotool type --delay 20 "$winfile"
xdotool key Return
for ((i = 0; i < 2400; i++)); do
  [[ -s "$file" ]] && break
  sleep 0.1
done
# The Linux build's screen grabber (scripts/test.sh builds it).
grabber="${VKT_SCREENSHOT:-$root/build/test/tests/app/vkt-screenshot}"
if [[ ! -s "$file" ]]; then
  echo "no file $file"
  [[ -x "$grabber" ]] && "$grabber" "$file.failed.png" && echo "the screen then: $file.failed.png"
  exit 1
fi
sleep 3 # the rows come into the grid
if [[ -n "$shot" ]]; then
  "$grabber" "$shot"
fi
