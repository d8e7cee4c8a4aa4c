#!/bin/sh
# Starts the real program on a virtual X server and watches its windows: first the 400 x 77
# splash window, then, once the splash is gone, the main window titled "ВКТ - РС7".
# Usage: start_under_xvfb.sh PATH/TO/vkt-rs7 [SCREENSHOT.png]
set -eu
exe=$1
shot=${2:-}
if [ -z "${VKT_UNDER_XVFB:-}" ]; then
  export VKT_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

config=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$config"' EXIT
XDG_CONFIG_HOME=$config VKT_SPLASH_MS=1500 "$exe" &
pid=$!

windows() { xwininfo -root -tree | grep -F '"ВКТ - РС7": ("vkt-rs7"' || true; }

saw_splash=no
saw_main=no
i=0
while [ $i -lt 100 ]; do
  i=$((i + 1))
  sleep 0.2
  listing=$(windows)
  if echo "$listing" | grep -q ' 400x77+'; then
    saw_splash=yes
  elif [ $saw_splash = yes ] && [ -n "$listing" ]; then
    saw_main=yes
    break
  fi
done

echo "splash shown: $saw_splash; main window after the splash: $saw_main"
echo "$listing"
[ $saw_splash = yes ] && [ $saw_main = yes ] || exit 1

if [ -n "$shot" ]; then
  sleep 1
  "$(dirname "$exe")/../../tests/app/vkt-screenshot" "$shot"
fi
