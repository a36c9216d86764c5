#!/usr/bin/env bash
# launch.sh with a stand-in for the program, under every POSIX shell present
# (dash, bash, busybox sh: the device's). The stand-in takes its exit statuses
# from a list, notes each start and its working folder, and writes one line to
# standard error and one to standard output.
set -u
SRC_DIR=$(cd "$(dirname "$0")/../.." && pwd)
LAUNCH="$SRC_DIR/packaging/launch.sh"
failures=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL [$case_name, $shell_name]: $*"; failures=$((failures + 1)); }

# New app folder with launch.sh and the stand-in; STATUSES one per line.
make_app() {
  app="$work/case/Apps/qz-nuvalto"
  rm -rf "$work/case"
  mkdir -p "$app/bin" "$work/case/state"
  cp "$LAUNCH" "$app/launch.sh"
  printf '%s\n' "$@" >"$work/case/state/statuses"
  cat >"$app/bin/qz-nuvalto-native64" <<'EOF'
#!/bin/sh
state=$STAND_IN_STATE
echo x >>"$state/starts"
n=$(wc -l <"$state/starts")
pwd >>"$state/cwd"
echo "stand-in stderr $((n))" >&2
echo "stand-in stdout $((n))"
[ -f "$state/on_start_$((n))" ] && . "$state/on_start_$((n))"
status=$(sed -n "$((n))p" "$state/statuses")
exit "${status:-0}"
EOF
  chmod 755 "$app/bin/qz-nuvalto-native64"
}

# Runs launch.sh with the current shell from an unrelated folder.
run_launch() {
  (cd "$work" && STAND_IN_STATE="$work/case/state" $shell "$app/launch.sh" >"$work/case/stdout")
  launch_status=$?
  starts=0
  [ -f "$work/case/state/starts" ] && starts=$(wc -l <"$work/case/state/starts")
}

shells=()
for s in dash bash "busybox sh"; do
  if command -v "${s%% *}" >/dev/null && $s -c 'exit 0' 2>/dev/null; then
    shells+=("$s")
  else
    echo "SKIP shell $s: not installed"
  fi
done

# name | statuses the stand-in exits with, in order | starts | final status
restart_cases=(
  "normal exit|0|1|0"
  "update then exit|42 0|2|0"
  "error stops at once|3|1|3"
  "update then crash|42 139|2|139"
  "restart loop is bounded|42 42 42 42 42 42 42 42|5|42"
)

for shell in "${shells[@]}"; do
  shell_name=$shell
  for row in "${restart_cases[@]}"; do
    IFS='|' read -r case_name statuses want_starts want_status <<<"$row"
    # shellcheck disable=SC2086
    make_app $statuses
    echo "older line" >"$app/qz-nuvalto.log"
    run_launch
    [ "$starts" -eq "$want_starts" ] || fail "started $starts times, expected $want_starts"
    [ "$launch_status" -eq "$want_status" ] || fail "status $launch_status, expected $want_status"
    if grep -qv "^$app\$" "$work/case/state/cwd"; then
      fail "stand-in ran in $(sort -u "$work/case/state/cwd" | tr '\n' ' '), not in the app folder"
    fi
    # Standard error is appended to the log in order; standard output is not.
    want_log=$(printf 'older line\n'; for i in $(seq 1 "$want_starts"); do echo "stand-in stderr $i"; done)
    got_log=$(grep -v '^\[Launch\]' "$app/qz-nuvalto.log")
    [ "$got_log" = "$want_log" ] || fail "log is [$got_log], expected [$want_log]"
    grep -q 'stand-in stdout' "$app/qz-nuvalto.log" && fail "standard output went into the log"
  done

  case_name="missing executable"
  make_app 0
  rm "$app/bin/qz-nuvalto-native64"
  run_launch
  [ "$launch_status" -eq 127 ] || fail "status $launch_status, expected 127"

  case_name="executable from QZ_LAUNCH_EXE"
  make_app 7
  mv "$app/bin/qz-nuvalto-native64" "$work/case/other-program"
  (cd "$work" && QZ_LAUNCH_EXE="$work/case/other-program" STAND_IN_STATE="$work/case/state" $shell "$app/launch.sh" >/dev/null)
  launch_status=$?
  [ "$launch_status" -eq 7 ] || fail "status $launch_status, expected 7 from the overriding program"

  case_name="log that cannot be written"
  make_app 0
  mkdir "$app/qz-nuvalto.log"
  run_launch
  [ "$starts" -eq 1 ] || fail "started $starts times, expected 1"
  [ "$launch_status" -eq 0 ] || fail "status $launch_status, expected 0"

  # An update rewrites launch.sh in place while it runs (same inode, as an
  # in-place writer does); the running script must still restart the program
  # and must not execute the new file's bytes from where it had read to.
  case_name="launch.sh rewritten during the run"
  make_app 42 0
  {
    for _ in $(seq 1 400); do echo "exit 97"; done
    cat "$LAUNCH"
  } >"$work/case/new-launch.sh"
  echo "cat '$work/case/new-launch.sh' >'$app/launch.sh'" >"$work/case/state/on_start_1"
  run_launch
  [ "$starts" -eq 2 ] || fail "started $starts times, expected 2"
  [ "$launch_status" -eq 0 ] || fail "status $launch_status, expected 0"
done

# Log rotation: before each start, a log longer than 1 MiB becomes
# qz-nuvalto.log.1 (replacing an older one); a log of exactly 1 MiB stays.
shell=${shells[-1]}
shell_name=$shell
# name | bytes in the log before start | .1 exists before | rotated
rotation_cases=(
  "one byte past 1 MiB|1048577|no|yes"
  "exactly 1 MiB|1048576|no|no"
  "older copy replaced|2000000|yes|yes"
  "small log|10|yes|no"
)
for row in "${rotation_cases[@]}"; do
  IFS='|' read -r case_name bytes had_old want_rotated <<<"$row"
  make_app 0
  head -c "$bytes" /dev/zero | tr '\0' 'a' >"$app/qz-nuvalto.log"
  [ "$had_old" = yes ] && echo "oldest" >"$app/qz-nuvalto.log.1"
  run_launch
  [ "$launch_status" -eq 0 ] || fail "status $launch_status"
  log_size=$(wc -c <"$app/qz-nuvalto.log")
  if [ "$want_rotated" = yes ]; then
    old_size=$(wc -c <"$app/qz-nuvalto.log.1" 2>/dev/null || echo missing)
    [ "$old_size" = "$bytes" ] || fail "qz-nuvalto.log.1 has $old_size bytes, expected the old log's $bytes"
    [ "$(cat "$app/qz-nuvalto.log")" = "stand-in stderr 1" ] || fail "new log does not hold only this run"
  else
    line="stand-in stderr 1"
    want_size=$((bytes + ${#line} + 1))
    [ "$log_size" -eq "$want_size" ] || fail "log has $log_size bytes, expected $want_size (appended, not rotated)"
    if [ "$had_old" = yes ]; then
      [ "$(cat "$app/qz-nuvalto.log.1")" = "oldest" ] || fail "qz-nuvalto.log.1 changed without a rotation"
    else
      [ ! -e "$app/qz-nuvalto.log.1" ] || fail "qz-nuvalto.log.1 created without a rotation"
    fi
  fi
done

# A log that passes 1 MiB during one run is rotated before the restart.
case_name="rotated between restarts"
make_app 42 0
echo "head -c 1100000 /dev/zero | tr '\\0' 'b' >&2" >"$work/case/state/on_start_1"
run_launch
[ "$starts" -eq 2 ] || fail "started $starts times, expected 2"
grep -q 'stand-in stderr 1' "$app/qz-nuvalto.log.1" 2>/dev/null || fail "first run's output not in qz-nuvalto.log.1"
grep -q 'stand-in stderr 1' "$app/qz-nuvalto.log" && fail "first run's output still in the new log"
grep -q 'stand-in stderr 2' "$app/qz-nuvalto.log" || fail "second run's output not in the new log"

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "launch.sh: all cases passed with: ${shells[*]}"
