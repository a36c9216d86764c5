#!/bin/sh
# Stand-in for the firmware's volume pop-up "/usr/trimui/osd/show_volume_msg.sh", for tests (installed under the device root).
# Shows nothing; appends "show_volume_msg.sh ARGS" to the file named by QZ_FAKE_FIRMWARE_LOG.
[ -n "$QZ_FAKE_FIRMWARE_LOG" ] && printf '%s\n' "show_volume_msg.sh $*" >> "$QZ_FAKE_FIRMWARE_LOG"
exit 0
