#!/usr/bin/env bash
# Peak memory of the program after it has browsed the whole demo catalog:
# qz-shot runs the real start-up and main loop against the demo catalog on a
# loopback port and walks Right through every card of every shelf, so every
# poster (and, while it loads, every backdrop) is fetched, decoded and kept.
# The figure is the maximum resident set size that /usr/bin/time reports, next
# to the same walk with every poster refused (the program without pictures).
#   bench/memory_tour.sh [SIZE]     SIZE defaults to 1280x720
# QZ_BUILD_DIR picks the build directory (default build/).
set -euo pipefail
QZ_ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$QZ_ROOT/scripts/lib.sh"
qz_ensure_packages "${QZ_PACKAGES[@]}" time
build=${QZ_BUILD_DIR:-$QZ_ROOT/build}
qz_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

size=${1:-1280x720}
demo="$QZ_ROOT/tools/fixtures/demo"
py=$(command -v /usr/bin/python3 || command -v python3)
work=$(mktemp -d)
server_pids=()
stop_servers() {
  local pid
  for pid in "${server_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop_servers EXIT

# start_server PORT_FILE COMMAND...: sets $port once the server listens.
start_server() {
  local port_file=$1
  shift
  "$@" >>"$work/servers.log" 2>&1 &
  server_pids+=("$!")
  local i
  for i in $(seq 100); do
    if [ -s "$port_file" ]; then
      port=$(cat "$port_file")
      return 0
    fi
    kill -0 "$!" 2>/dev/null || break
    sleep 0.1
  done
  echo "server did not start: $*" >&2
  cat "$work/servers.log" >&2
  return 1
}

# The committed posters come from a static server; the catalog server gets a
# copy of the demo JSON pointing there (it only draws stand-ins itself).
mkdir -p "$work/srv"
cp -r "$demo/posters" "$work/srv/posters"
start_server "$work/posters.port" "$py" "$QZ_ROOT/tools/update_server.py" --dir "$work/srv" --port 0 \
  --port-file "$work/posters.port"
posters="http://127.0.0.1:$port/posters/"
closed_port=$("$py" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

catalog_with_posters_at() {
  local dir=$1 prefix=$2
  cp -r "$demo" "$dir"
  rm -rf "$dir/posters"
  find "$dir" -name '*.json' -exec sed -i "s#{BASE}/posters/#$prefix#g" {} +
}
catalog_with_posters_at "$work/catalog" "$posters"
catalog_with_posters_at "$work/catalog-no-posters" "http://127.0.0.1:$closed_port/posters/"
start_server "$work/catalog.port" "$py" "$QZ_ROOT/tools/catalog_server.py" --data "$work/catalog" --port 0 \
  --port-file "$work/catalog.port"
with_posters="http://127.0.0.1:$port"
start_server "$work/catalog2.port" "$py" "$QZ_ROOT/tools/catalog_server.py" --data "$work/catalog-no-posters" \
  --port 0 --port-file "$work/catalog2.port"
without_posters="http://127.0.0.1:$port"

# Every shelf from the top: Right through all its cards, pausing on each so
# its poster arrives, then Down to the next shelf.
cards=$("$py" -c 'import json, sys; print(max(len(json.load(open(f))) for f in sys.argv[1:]))' "$demo"/home*.json)
shelves=$(ls "$demo"/home*.json | wc -l)
script="wait:3000"
for _ in $(seq "$shelves"); do
  for _ in $(seq "$cards"); do script="$script;Right;wait:150"; done
  script="$script;wait:1000;Down"
done
script="$script;wait:2000"

# peak_kib CATALOG_URL: the walk in a fresh device root; prints the maximum
# resident set size in KiB and how many thumbnails reached the disk cache.
peak_kib() {
  local run
  run=$(mktemp -d "$work/run.XXXXXX")
  mkdir -p "$run/root/mnt/SDCARD/Apps/qz-nuvalto" "$run/root/tmp"
  QZ_DEVICE_ROOT="$run/root" /usr/bin/time -v -o "$run/time.txt" \
    "$build/qz-shot" --catalog "$1" --size "$size" --script "$script" --out "$run/last.png" 2>"$run/log.txt"
  local kib thumbs
  kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$run/time.txt")
  thumbs=$(find "$run/root/mnt/SDCARD/Apps/qz-nuvalto/cache" -name '*.raw' 2>/dev/null | wc -l)
  echo "$kib $thumbs"
}

read -r kib_posters thumbs_posters < <(peak_kib "$with_posters")
read -r kib_bare thumbs_bare < <(peak_kib "$without_posters")
posters_total=$(ls "$demo/posters" | grep -cv '\.py$')
echo "Browsed $shelves shelves x $cards cards at $size (poster and backdrop files: $posters_total)"
printf '  with posters:    peak RSS %6d KiB (%.1f MiB), %d thumbnails cached\n' \
  "$kib_posters" "$(awk "BEGIN { print $kib_posters / 1024 }")" "$thumbs_posters"
printf '  posters refused: peak RSS %6d KiB (%.1f MiB), %d thumbnails cached\n' \
  "$kib_bare" "$(awk "BEGIN { print $kib_bare / 1024 }")" "$thumbs_bare"
