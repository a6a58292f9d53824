#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: the standard layout is there, the
# desktop entry and manual pages are valid, --help and --version answer
# without touching a file, and the installed program keeps its data in the
# user's data folder. Usage: install_layout_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "cmake --install"

for f in bin/vastrel bin/vastrel-phone share/applications/vastrel.desktop \
         share/doc/vastrel/vastrel.html share/doc/vastrel/copyright \
         share/man/man1/vastrel.1.gz share/man/man1/vastrel-phone.1.gz; do
  [ -f "$prefix/$f" ] || fail "missing $f"
done
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/vastrel.png
  [ -f "$icon" ] || fail "missing the ${size}px icon"
  if command -v identify > /dev/null; then
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "icon $size has the wrong size"
  fi
done

desktop=$prefix/share/applications/vastrel.desktop
for line in 'Name=Vastrel' 'Exec=vastrel' 'Icon=vastrel' 'Type=Application'; do
  grep -qx "$line" "$desktop" || fail "desktop entry lacks $line"
done
grep -q '^Categories=.*Utility;.*Telephony;' "$desktop" || fail "desktop entry categories"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v man > /dev/null; then
  for page in vastrel vastrel-phone; do
    out=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 > "$work/$page.txt")
    [ -z "$out" ] || fail "man page $page: $out"
    grep -q "^NAME" "$work/$page.txt" || fail "man page $page renders no NAME section"
  done
fi

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

# Installed: the logs go to $XDG_DATA_HOME/vastrel although the prefix is
# writable; shut-down saves the data log there.
"$prefix/bin/vastrel" &
pid=$!
for _ in $(seq 1 100); do
  [ -d "$home/data/vastrel/DataLogs" ] && grep -qs hKey "$home/state/vastrel/registry" && break
  sleep 0.1
done
[ -d "$home/data/vastrel/DataLogs" ] || fail "no DataLogs in \$XDG_DATA_HOME/vastrel"
kill -TERM "$pid"
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "the installed program did not end on SIGTERM"
wait "$pid" || fail "the installed program ended with status $?"
pid=""
[ -s "$home/data/vastrel/DataLogs/Data.log" ] || fail "shut-down saved no data log"
[ ! -e "$prefix/bin/DataLogs" ] && [ ! -e "$prefix/bin/In.log" ] || fail "data written beside the installed program"
echo "install layout: ok"
