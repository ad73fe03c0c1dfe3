#!/usr/bin/env bash
# The window's icon as the X side sees it (_NET_WM_ICON, set from WM_SETICON): one 128 x 128 image
# with alpha, transparent in the corners, a light-blue disc with the dark grey sign on it.
# Checked here because Wine does not answer WM_GETICON across processes.
set -euo pipefail
exe=$1
wine "$exe" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
wid=
for _ in $(seq 200); do
  wid=$(xdotool search --onlyvisible --pid "$pid" --name '^Porvanta$' 2>/dev/null | head -n1 || true)
  [ -z "$wid" ] && wid=$(xdotool search --onlyvisible --name '^Porvanta$' 2>/dev/null | head -n1 || true)
  if [ -n "$wid" ] && xprop -id "$wid" -notype -f _NET_WM_ICON 32c _NET_WM_ICON 2>/dev/null | grep -q '= 128, 128'; then break; fi
  sleep 0.05
done
[ -n "$wid" ] || { echo "no window"; exit 1; }
xprop -id "$wid" -notype -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/^_NET_WM_ICON = //' | tr -d ' ' | tr ',' '\n' > icon.values
awk '
  NR == 1 { w = $1 } NR == 2 { h = $1 }
  NR > 2 { i = NR - 3; px[int(i / 128), i % 128] = $1; n++ }
  END {
    if (w != 128 || h != 128 || n != 16384) { print "want one 128x128 icon, got " w "x" h " with " n " values"; exit 1 }
    corner = px[0, 0]; top = px[10, 64]; dot = px[94, 64]
    if (int(corner / 16777216) != 0) { print "corner not transparent: " corner; exit 1 }
    if (top != 4289255669) { printf "disc not light blue: %x\n", top; exit 1 }
    if (dot != 4282400832) { printf "dot not dark grey: %x\n", dot; exit 1 }
    print "ok"
  }' icon.values
