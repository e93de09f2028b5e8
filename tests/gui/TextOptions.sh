#!/bin/sh
# The window program answers --version and --help on the terminal and ends, without a display:
# with no display and no platform given, opening a window would fail.
set -eu
program="$1"
version="$2"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)
[ "$out" = "k7104-configurator $version" ] || { echo "--version gave: $out"; exit 1; }
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help)
case "$out" in
  *--settings*--version*|*--version*--settings*) ;;
  *) echo "--help gave: $out"; exit 1 ;;
esac
case "$out" in
  *K7104_SERIAL_BY_ID*K7104_SERIAL_DEV*K7104_SERIAL_SYS*) ;;
  *) echo "--help names no scan folders: $out"; exit 1 ;;
esac
echo "text options: ok"
