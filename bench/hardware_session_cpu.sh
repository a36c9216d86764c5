#!/usr/bin/env bash
# CPU used by the program during a hardware-player session while the overlay
# is hidden: the real qz-nuvalto under a device root with the scripted player
# of tools/firmware, a continue-watching card played with A, then the
# program's CPU time (user + system, from /proc) over a window that starts
# once the overlay has gone.
#   bench/hardware_session_cpu.sh [BUILD_DIR] [WINDOW_SECONDS]
set -euo pipefail
QZ_ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$QZ_ROOT/build}" && pwd)
window=${2:-10}
exec /usr/bin/python3 - "$QZ_ROOT" "$build" "$window" <<'PY'
import json, os, shutil, struct, subprocess, sys, tempfile, time

root_dir, build, window = sys.argv[1], sys.argv[2], float(sys.argv[3])
firmware = os.path.join(root_dir, "tools/firmware")
work = tempfile.mkdtemp(prefix="qz-hw-cpu-")
root = os.path.join(work, "root")
app = os.path.join(root, "mnt/SDCARD/Apps/qz-nuvalto")
for d in (app, os.path.join(root, "tmp"), os.path.join(root, "dev/input"), os.path.join(work, "bin"),
          os.path.join(root, "usr/bin"), os.path.join(root, "usr/trimui/bin"), os.path.join(root, "usr/trimui/osd")):
    os.makedirs(d, exist_ok=True)
open(os.path.join(root, "dev/fb0"), "w").close()
with open(os.path.join(app, "history.json"), "w") as f:
    json.dump([{"movie_id": "m", "movie_title": "Phim", "poster_url": "", "server_name": "S1",
                "episode_number": 1, "episode_title": "Tập 1", "play_url": "http://cdn.example/1.mp4",
                "last_pos_secs": 60, "duration_secs": 1500, "updated_at": 1}], f)
os.symlink(os.path.join(firmware, "tplayerslave"), os.path.join(root, "usr/bin/tplayerslave"))
os.symlink(os.path.join(firmware, "systemval"), os.path.join(root, "usr/trimui/bin/systemval"))
os.symlink(os.path.join(firmware, "show_volume_msg.sh"), os.path.join(root, "usr/trimui/osd/show_volume_msg.sh"))
for fake in ("tinymix", "amixer", "pgrep", "killall"):
    os.symlink(os.path.join(firmware, fake), os.path.join(work, "bin", fake))
for real in ("sh", "env", "python3", "curl", "kill"):
    os.symlink("/usr/bin/" + real, os.path.join(work, "bin", real))
nodes = []
for n in (0, 1, 2, 3, 4):
    path = os.path.join(root, "dev/input/event%d" % n)
    os.mkfifo(path)
    nodes.append(os.open(path, os.O_RDWR))

def press(node, code):
    for value in (1, 0):
        os.write(nodes[node], bytes(16) + struct.pack("<HHi", 1, code, value))

env = dict(os.environ, QZ_DEVICE_ROOT=root, PATH=os.path.join(work, "bin"), HOME=work,
           QZ_FAKE_PLAYER_LOG=os.path.join(work, "player.log"), QZ_FAKE_FIRMWARE_LOG=os.path.join(work, "fw.log"))
env.pop("TRIMUI_SIMULATOR", None)
err = open(os.path.join(work, "stderr.txt"), "w")
program = subprocess.Popen([os.path.join(build, "qz-nuvalto")], env=env, cwd=work, stderr=err)

def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

try:
    time.sleep(2.0)
    press(0, 305)            # A: play the continue-watching card
    time.sleep(6.0)          # the resume notice and the overlay are gone by now
    start, t0 = cpu_seconds(program.pid), time.monotonic()
    time.sleep(window)
    used, elapsed = cpu_seconds(program.pid) - start, time.monotonic() - t0
    print("hardware session, overlay hidden: %.3f s CPU in %.1f s = %.2f %% of one core"
          % (used, elapsed, 100.0 * used / elapsed))
    press(4, 304)            # B on the player's buttons ends the session
    time.sleep(3.0)
    press(0, 304)            # B on the home screen ends the program
    program.wait(timeout=10)
finally:
    if program.poll() is None:
        program.kill()
        program.wait()
    shutil.rmtree(work, ignore_errors=True)
PY
