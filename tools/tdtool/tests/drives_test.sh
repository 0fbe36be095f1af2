#!/usr/bin/env bash
# Drives tdtool's drive table over a mount table of our own: letters, types, network
# names, letters kept from one boot to the next, and letters the user binds.
set -u
tdtool=$1
source "$(dirname "${BASH_SOURCE[0]}")/checks.bash"
mkdir -m 700 "$work/runtime"
export TONEDECK_REGISTRY_DIR=$work/registry XDG_DATA_HOME=$work/data HOME=$work \
    XDG_RUNTIME_DIR=$work/runtime TONEDECK_MOUNTINFO=$work/mountinfo \
    TONEDECK_UDEV_DATA=$work/udev TONEDECK_SYSFS=$work/sys TONEDECK_DISK_BY_UUID=$work/by-uuid

mkdir -p "$work/udev"
printf 'E:ID_BUS=usb\nE:ID_FS_LABEL=STICK\nE:ID_FS_UUID=1234-ABCD\n' >"$work/udev/b8:17"
cat >"$work/mountinfo" <<'MOUNTS'
22 27 0:21 / /proc rw - proc proc rw
27 1 8:2 / / rw - ext4 /dev/sda2 rw
30 27 0:50 / /mnt/music rw - nfs4 fileserver:/export/music rw
31 28 8:17 / /run/media/ann/STICK rw - vfat /dev/sdb1 rw
32 27 0:51 / /mnt/office rw - cifs //nas/office rw
MOUNTS

check "bind before setup" 1 "$tdtool" drives bind X: /mnt/music
contains "says why" "$work/err" "tdtool setup"

check "setup" 0 "$tdtool" setup --user Ann
check "list" 0 "$tdtool" drives
contains "network name" "$work/out" "D:  remote    /mnt/music  (nfs4 fileserver:/export/music)  //fileserver/export/music"
contains "removable" "$work/out" 'E:  removable /run/media/ann/STICK  (vfat /dev/sdb1)  label "STICK"  serial 1234-ABCD'
check "json" 0 "$tdtool" drives --json
tr -d ' \n' <"$work/out" >"$work/flat"
contains "json remote" "$work/flat" '"letter":"F:","mountPoint":"/mnt/office","serial":"0000-0000","source":"//nas/office","type":"remote","universalName":"//nas/office"'

check "universal by letter" 0 "$tdtool" drives universal 'f:\docs\a.wav'
contains "share only" "$work/out" "//nas/office"
check "local drive" 1 "$tdtool" drives universal 'C:\a.wav'
check "network path" 1 "$tdtool" drives universal //nas/office/a.wav

check "bind" 0 "$tdtool" drives bind m /mnt/music
check "list bound" 0 "$tdtool" drives
contains "moved" "$work/out" "M:  remote    /mnt/music"
lacks "old letter free" "$work/out" "D:  remote"
check "unbind" 0 "$tdtool" drives unbind M:
check "list unbound" 0 "$tdtool" drives
contains "first free letter" "$work/out" "D:  remote    /mnt/music"

for bad in "bind 7: /mnt" "bind K: mnt" "unbind" "eject D:" "--frob"; do
    check "usage: $bad" 2 "$tdtool" drives $bad
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
