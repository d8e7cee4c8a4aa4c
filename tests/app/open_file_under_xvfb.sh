#!/bin/sh
# Starts the program as a file manager does, with a measurement file, on a virtual X server: the
# main window must come up with the file open, its caption "<file name> - ВКТ - РС7".
# Usage: open_file_under_xvfb.sh PATH/TO/vkt-rs7 SOURCE_DIR
set -eu
exe=$1
source_dir=$2
if [ -z "${VKT_UNDER_XVFB:-}" ]; then
  export VKT_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
/usr/bin/python3 "$source_dir/tests/store/measurement/write_device_b.py" "$work/Участок 7.db"
XDG_CONFIG_HOME=$work VKT_SPLASH_MS=200 "$exe" "$work/Участок 7.db" &
pid=$!

i=0
while [ $i -lt 100 ]; do
  i=$((i + 1))
  sleep 0.2
  if xwininfo -root -tree | grep -qF '"Участок 7 - ВКТ - РС7"'; then
    echo "the window shows the file"
    exit 0
  fi
done
xwininfo -root -tree | grep -F 'ВКТ' || true
echo "no window titled \"Участок 7 - ВКТ - РС7\"" >&2
exit 1
