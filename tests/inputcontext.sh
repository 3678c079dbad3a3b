#!/usr/bin/env bash
# The desktop program, started on an X display as from the menu, loads the Chinese input
# method's Qt plugin the clerk's desktop names in QT_IM_MODULE (fcitx5, ibus) from the
# system's plugin folder. A plugin that is not installed is not asked for; with none at
# all the test is skipped (exit 77).
#   inputcontext.sh <bankprep> <Qt plugin folder>
set -euo pipefail
program=$1
plugins=$2/platforminputcontexts
work=$(mktemp -d)
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL -- "-$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

tried=0
for pair in fcitx:libfcitx5platforminputcontextplugin.so ibus:libibusplatforminputcontextplugin.so; do
  key=${pair%%:*}
  file=$plugins/${pair#*:}
  [ -e "$file" ] || continue
  tried=$((tried + 1))
  log=$work/$key.log
  setsid env QT_QPA_PLATFORM=xcb QT_IM_MODULE=$key QT_DEBUG_PLUGINS=1 \
    xvfb-run -a "$program" --data-dir "$work/data-$key" 2>"$log" >/dev/null &
  pid=$!
  found=0
  for _ in $(seq 1 600); do
    if grep -qF "\"$file\" loaded library" "$log"; then
      found=1
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL -- "-$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
  if [ "$found" -ne 1 ]; then
    echo "QT_IM_MODULE=$key: the program did not load $file" >&2
    grep -E 'inputcontext|xcb' "$log" | tail -20 >&2 || true
    exit 1
  fi
  echo "QT_IM_MODULE=$key: $file loaded"
done
[ "$tried" -gt 0 ] || { echo "no input method plugin is installed"; exit 77; }
