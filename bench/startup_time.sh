#!/usr/bin/env bash
# Start-up time: from process start to the first frame, with a warm catalog
# cache of 4 shelves x 50 titles (and, for comparison, with no cache at all).
#
#   bench/startup_time.sh [BUILD_DIR] [RUNS]      defaults: build 21
#
# What is timed: qz-shot from the build, which runs the real start-up (device
# profile, thumbnail store and its four workers, history, catalog cache load,
# shelves, the four shelf fetch threads) and then one pass of the real main
# loop (results, input, draw_home, present into its in-memory back buffer),
# and then writes that frame as a PNG. "First frame presented" is taken as
# the moment the PNG file is created (seen through inotify): that is after
# the first pass plus one pixel-format conversion of the frame (about a
# millisecond), and before the PNG is encoded. The clock starts just before
# the process is spawned, so exec, dynamic loading and the font parse are in.
# The catalog URL is a closed loopback port, so the shelf fetches and poster
# downloads started during start-up fail at once and never block the frame.
# Also printed: the time until the process has exited (PNG encoding included).
set -euo pipefail
QZ_ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$QZ_ROOT/build}" && pwd)
RUNS=${2:-21}
SHOT="$BUILD/qz-shot"
[ -x "$SHOT" ] || { echo "no $SHOT: build the qz-shot target first" >&2; exit 2; }

WORK=$(mktemp -d /tmp/qz-startup-XXXXXX)
trap 'rm -rf "$WORK"' EXIT

python3 - "$SHOT" "$WORK" "$RUNS" <<'PY'
import ctypes, json, os, select, shutil, socket, statistics, struct, subprocess, sys, time

shot, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
libc = ctypes.CDLL(None, use_errno=True)
IN_CREATE, IN_NONBLOCK, IN_CLOEXEC = 0x100, 0o4000, 0o2000000
APP = "mnt/SDCARD/Apps/qz-nuvalto"

def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port

def warm_cache(base):
    shelves = {}
    for key in ("phim-le", "phim-bo", "hoat-hinh", "trending"):
        shelves[key] = [{
            "id": "%s-%d" % (key, i), "title": "Phim Hành Động Việt Nam Số %d" % i, "slug": "%s-%d" % (key, i),
            "thumbnail": "%s/posters/%s-%d.jpg" % (base, key, i), "backdrop": None,
            "year": 2024 - i % 5 if i % 2 else str(2024 - i % 5), "quality": "FHD", "time": "Tập %d/24" % i,
            "lang": "Vietsub", "category": "Hành động"} for i in range(50)]
    return json.dumps(shelves, ensure_ascii=False, separators=(",", ":"))

def one_run(root, url):
    out_dir = os.path.join(root, "out")
    shutil.rmtree(out_dir, ignore_errors=True)
    shutil.rmtree(os.path.join(root, "root", APP, "cache"), ignore_errors=True)
    os.makedirs(out_dir)
    fd = libc.inotify_init1(IN_NONBLOCK | IN_CLOEXEC)
    if fd < 0 or libc.inotify_add_watch(fd, out_dir.encode(), IN_CREATE) < 0:
        sys.exit("inotify unavailable: errno %d" % ctypes.get_errno())
    env = dict(os.environ, QZ_DEVICE_ROOT=os.path.join(root, "root"))
    for name in ("TRIMUI_DEVICE", "TRIMUI_SIMULATOR"):
        env.pop(name, None)
    start = time.monotonic()
    proc = subprocess.Popen([shot, "--catalog", url, "--size", "1280x720", "--out",
                             os.path.join(out_dir, "frame.png")],
                            cwd=os.path.join(root, "work"), env=env, stderr=subprocess.DEVNULL)
    first = None
    while first is None:
        if not select.select([fd], [], [], 10)[0]:
            proc.kill()
            sys.exit("no frame within 10 s")
        data = os.read(fd, 4096)
        now = time.monotonic()
        pos = 0
        while pos < len(data):
            _, mask, _, length = struct.unpack_from("iIII", data, pos)
            name = data[pos + 16:pos + 16 + length].rstrip(b"\0")
            pos += 16 + length
            if mask & IN_CREATE and name == b"frame.png":
                first = now
    status = proc.wait()
    end = time.monotonic()
    os.close(fd)
    if status != 0:
        sys.exit("qz-shot failed with status %d" % status)
    return (first - start) * 1000, (end - start) * 1000

def measure(label, root, url):
    one_run(root, url)  # warms the page cache for the binary and the files
    results = [one_run(root, url) for _ in range(runs)]
    frames = sorted(r[0] for r in results)
    exits = sorted(r[1] for r in results)
    print("%-26s first frame: median %6.1f ms (min %6.1f, max %6.1f)   exit: median %6.1f ms"
          % (label, statistics.median(frames), frames[0], frames[-1], statistics.median(exits)))

url = "http://127.0.0.1:%d" % closed_port()
for label, cache in (("warm cache (4 x 50 titles)", True), ("no cache", False)):
    root = os.path.join(work, "warm" if cache else "cold")
    os.makedirs(os.path.join(root, "root", APP))
    os.makedirs(os.path.join(root, "work"))
    if cache:
        with open(os.path.join(root, "root", APP, "catalog_cache.json"), "w", encoding="utf-8") as f:
            f.write(warm_cache(url))
    measure(label, root, url)
print("%d runs each, %s, %d CPUs, load %s" % (runs, shot, os.cpu_count(), " ".join("%.2f" % l for l in os.getloadavg())))
PY
