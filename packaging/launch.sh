#!/bin/sh
# Starts QZ-Nuvalto from its app folder, with its standard error appended to
# qz-nuvalto.log there, and starts it again when it exits with status 42 (it
# has just unzipped an update over this folder). Any other status ends here.
#
# The whole script is one brace group: the shell parses it completely before
# running it, so an update that rewrites this file while it runs cannot make
# the shell read the rest from the new file.
{
  app_dir=$(cd "$(dirname "$0")" && pwd) || exit 1
  cd "$app_dir" || exit 1
  # Tests point this at a stand-in program.
  exe=${QZ_LAUNCH_EXE:-./bin/qz-nuvalto-native64}
  log=qz-nuvalto.log
  log_limit=1048576 # bytes; a longer log becomes qz-nuvalto.log.1
  max_starts=5      # a package that asks for a restart every time stops here

  starts=0
  while :; do
    if [ -f "$log" ]; then
      size=$(wc -c <"$log")
      if [ "$((size))" -gt "$log_limit" ]; then
        mv -f "$log" "$log.1"
      fi
    fi
    # A log that cannot be written (full or read-only card) must not keep
    # the program from starting.
    true 2>/dev/null >>"$log" || log=/dev/null
    starts=$((starts + 1))
    "$exe" 2>>"$log"
    status=$?
    [ "$status" -eq 42 ] || exit "$status"
    if [ "$starts" -ge "$max_starts" ]; then
      echo "[Launch] Asked for a restart $starts times in a row; not starting again" >>"$log"
      exit "$status"
    fi
    echo "[Launch] Update installed; starting again" >>"$log"
  done
}
