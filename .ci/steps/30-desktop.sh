#!/usr/bin/env bash
# The Debian package: built with CPack, installed with apt-get like on a user's
# machine, the installed /usr/bin/vastrel started offscreen in a home of its
# own (its logs must go to $XDG_DATA_HOME/vastrel, never beside /usr/bin),
# then removed again.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD:-build}

make package BUILD="$build"
deb=$(ls "$build"/vastrel_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libqt6widgets6 libqt6printsupport6 libqt6network6 libasound2; do
  case "$depends" in *"$lib"*) ;; *) echo "Depends lacks $lib: $depends" >&2; exit 1 ;; esac
done

if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the package is built but not installed"
  exit 0
fi
if dpkg-query -W -f='${Status}' vastrel 2>/dev/null | grep -q 'install ok installed'; then
  echo "vastrel is installed already; leaving this machine's copy alone" >&2
  exit 1
fi

work=$(mktemp -d)
pid=""
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid"; fi
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vastrel > /dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
for f in /usr/bin/vastrel /usr/bin/vastrel-phone /usr/share/applications/vastrel.desktop \
         /usr/share/icons/hicolor/48x48/apps/vastrel.png /usr/share/man/man1/vastrel.1.gz; do
  [ -f "$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
# Some minimal images drop /usr/share/doc on install; the program still runs.
[ -f /usr/share/doc/vastrel/vastrel.html ] || echo "note: the help page was filtered out by dpkg"
[ "$(/usr/bin/vastrel --version)" = "Vastrel 2.1.0" ]
/usr/bin/vastrel --help | grep -q '/setup'

home=$work/home
mkdir -p "$home/config" "$home/state" "$home/data" "$home/runtime"
chmod 700 "$home/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" \
  XDG_STATE_HOME="$home/state" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" \
  QT_QPA_PLATFORM=offscreen /usr/bin/vastrel &
pid=$!
for _ in $(seq 1 100); do
  [ -d "$home/data/vastrel/DataLogs" ] && break
  sleep 0.1
done
kill -0 "$pid" || { echo "the installed vastrel did not keep running" >&2; exit 1; }
kill -TERM "$pid"
for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid"
pid=""
[ -s "$home/data/vastrel/DataLogs/Data.log" ] || { echo "no data log in \$XDG_DATA_HOME/vastrel" >&2; exit 1; }
[ ! -e /usr/bin/DataLogs ] && [ ! -e /usr/bin/In.log ] || { echo "data written into /usr/bin" >&2; exit 1; }
[ -f "$home/config/telephon.ini" ]

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vastrel
[ ! -e /usr/bin/vastrel ] || { echo "vastrel still installed after removal" >&2; exit 1; }
echo "desktop package: ok"
