#!/usr/bin/env bash
# Installs a built Quillory package on this machine, starts the installed program in a
# tray under Xvfb with a temporary home, and checks that its icon shows, that its Help
# command opens the help installed beside it, and that it keeps its favourites in
# XDG_DATA_HOME (screenshots in the folder above the temporary home), then removes
# the package and checks the favourites are still there. Changes the machine's packages:
# run by hand, as root (or with sudo available), on a display number of your own.
#   installed_check.sh PACKAGE.deb [DISPLAY_NUMBER]     (default 94)
set -euo pipefail
deb=$(realpath "$1")
display=":${2:-94}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
home=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  if dpkg-query -W -f='${Status}' quillory 2>/dev/null | grep -q 'ok installed'; then
    $sudo apt-get remove -y -qq quillory >/dev/null || true
  fi
  rm -rf "$home"
}
trap cleanup EXIT

echo "== Installing $deb"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
[ -x /usr/bin/Quillory ] && [ -f /usr/bin/Quillory.chm ] || fail "the program or its help is missing"
dpkg -L quillory

echo "== Starting it in a tray on $display"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp &
pids+=($!)
sleep 1
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export DBUS_SESSION_BUS_ADDRESS=disabled:
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge bottom --align right --widthtype pixel --width 200 --heighttype pixel --height 32 \
  --transparent false >/dev/null 2>&1 &
pids+=($!)
sleep 1
mkdir -p "$home/runtime" && chmod 700 "$home/runtime"
HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime \
  /usr/bin/Quillory >"$home/quillory.log" 2>&1 &
quillory=$!
pids+=($quillory)
for _ in $(seq 100); do
  icon=$(xdotool search --onlyvisible --class Quillory 2>/dev/null | head -1) || true
  [ -n "$icon" ] && break
  sleep 0.1
done
[ -n "$icon" ] || fail "no tray icon: $(cat "$home/quillory.log")"
xwininfo -id "$icon" | grep -E 'Absolute|Width|Height'
import -window root "$home/../quillory-installed-tray.png" 2>/dev/null || true

echo "== Favourites in XDG_DATA_HOME"
for f in folders.xml queries.xml; do
  [ -f "$home/data/Quillory/$f" ] || fail "$home/data/Quillory/$f was not written"
done
[ "$(stat -c %a "$home/data/Quillory")" = 700 ] || fail "the favourites folder is not private"
[ ! -e /usr/bin/folders.xml ] && [ ! -e /usr/bin/queries.xml ] || fail "favourites written to /usr/bin"
ls -la "$home/data/Quillory"

echo "== Help, from the tray menu (Quillory > Help)"
# The menu opens above the icon at the bottom right: "Quillory" is its first entry, its
# submenu opens leftwards with "Help" level with it (positions on a 1280x800 screen).
read -r x y < <(xwininfo -id "$icon" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4} END {print x, y}')
xdotool mousemove $((x + 8)) $((y + 15)) click 1
sleep 1
xdotool mousemove $((x - 47)) $((y - 5))
sleep 1
xdotool mousemove $((x - 170)) $((y - 5))
sleep 0.3
xdotool mousemove $((x - 190)) $((y - 3)) click 1
for _ in $(seq 50); do
  xdotool search --onlyvisible --name '^Quillory Help$' >/dev/null 2>&1 && break
  sleep 0.2
done
import -window root "$home/../quillory-installed-help.png" 2>/dev/null || true
xdotool search --onlyvisible --name '^Quillory Help$' >/dev/null || fail "the help window did not open"

echo "== Ending it, removing the package"
kill -TERM "$quillory"
wait "$quillory" || true
sums=$(sha256sum "$home/data/Quillory/"*.xml)
$sudo apt-get remove -y -qq quillory >/dev/null
[ ! -e /usr/bin/Quillory ] || fail "/usr/bin/Quillory is still there after the removal"
[ "$(sha256sum "$home/data/Quillory/"*.xml)" = "$sums" ] || fail "the removal changed the favourites"
echo "installed package checked: icon shown, favourites in XDG_DATA_HOME, kept after removal"
