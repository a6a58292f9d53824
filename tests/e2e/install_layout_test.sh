#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: the standard layout is there, the
# desktop entry and manual pages are valid, and --help and --version answer
# without touching a file. Where an installed copy keeps its data is checked
# by the paths test and CI's package step. Usage: install_layout_test.sh BUILD_DIR
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$1" --prefix "$prefix" > "$work/install.log" || fail "cmake --install"
for f in bin/vastrel bin/vastrel-phone share/applications/vastrel.desktop \
         share/doc/vastrel/vastrel.html share/doc/vastrel/copyright \
         share/man/man1/vastrel.1.gz share/man/man1/vastrel-phone.1.gz; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/vastrel.png
  [ -f "$icon" ] || fail "missing the ${size}px icon"
  ! command -v identify > /dev/null || [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] ||
    fail "icon $size has the wrong size"
done

desktop=$prefix/share/applications/vastrel.desktop
for line in 'Name=Vastrel' 'Exec=vastrel' 'Icon=vastrel' 'Type=Application'; do
  grep -qx "$line" "$desktop" || fail "desktop entry lacks $line"
done
grep -q '^Categories=.*Utility;.*Telephony;' "$desktop" || fail "desktop entry categories"
! command -v desktop-file-validate > /dev/null || desktop-file-validate "$desktop" ||
  fail "desktop-file-validate"
for page in vastrel vastrel-phone; do
  command -v man > /dev/null || break
  out=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 > "$work/$page.txt")
  [ -z "$out" ] || fail "man page $page: $out"
  grep -q "^NAME" "$work/$page.txt" || fail "man page $page renders no NAME section"
done

# A home of its own; nothing may appear in it for --help or --version.
home=$work/home
mkdir -p "$home/config" "$home/state" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
printf '[Exchange]\nLines=2\nTraffic=none\n' > "$home/config/telephon.ini"
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_STATE_HOME=$home/state \
  XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/runtime QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
before=$(find "$home" "$prefix" | sort)
[ "$(timeout 10 "$prefix/bin/vastrel" --version)" = "Vastrel 2.1.0" ] || fail "--version"
timeout 10 "$prefix/bin/vastrel" --help > "$work/help.txt" || fail "--help exit status"
for word in Usage /min /setup /test; do
  grep -q -- "$word" "$work/help.txt" || fail "--help does not mention $word"
done
[ "$(find "$home" "$prefix" | sort)" = "$before" ] || fail "--help or --version touched files"

echo "install layout: ok"
