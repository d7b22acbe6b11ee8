#!/usr/bin/env bash
# The bash completion of zaziruv-cli and zaziruv, called as bash calls it (COMP_WORDS,
# COMP_CWORD) in a scratch working directory with a scratch device directory.
# Run as: completion.sh <completion dir> <directory of the built programs>
set -u
export LC_ALL=C PATH="$(cd "$2" && pwd):$PATH"
. "$1/zaziruv-cli"
. "$1/zaziruv"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/dev/serial/by-id" "$tmp/work/sub"
touch "$tmp/dev/ttyUSB0" "$tmp/dev/ttyACM1" "$tmp/dev/serial/by-id/usb-FTDI-if00" "$tmp/dev/null"
touch "$tmp"/work/{a.cmd,B.CMD,c.CMB,notes.txt,old.img} "$tmp/work/sub/other.cmd"
_zaziruv_dev=$tmp/dev
cd "$tmp/work" || exit 1
failed=0

# expect WANT WORD...: completing the last WORD offers exactly WANT (sorted, one blank apart).
expect()
{
    local want=$1 got
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    if [[ $1 == zaziruv ]]; then _zaziruv; else _zaziruv_cli; fi
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: $*: offered \"$got\", expected \"$want\""
        failed=1
    fi
}

d=$tmp/dev
expect "autoconfigure check clear combo debuglog dir download image macro ports prep program readback run send settings stop upload" zaziruv-cli ""
expect "download" zaziruv-cli --simulate do
expect "$d/serial/by-id/usb-FTDI-if00 $d/ttyACM1 $d/ttyUSB0" zaziruv-cli --port ""
expect "19200" zaziruv-cli --baud 1
expect "B.CMD a.cmd" zaziruv-cli --port /dev/x download ""
expect "other.cmd" zaziruv-cli --dir sub check ""
expect "" zaziruv-cli download a.cmd ""
expect "--verify --verify-readback --version" zaziruv-cli download a.cmd --v
expect "download save show" zaziruv-cli combo ""
expect "c.CMB" zaziruv-cli combo show ""
expect "B.CMD a.cmd" zaziruv-cli combo save X.CMB a.cmd ""
expect "old.img" zaziruv-cli image restore o
expect "B.CMD a.cmd c.CMB old.img" zaziruv-cli program ""
expect "$d/ttyUSB0" zaziruv-cli program old.img --target "$d/ttyU"
expect "run" zaziruv-cli macro ""
expect "--echo --eeprom --eeprom-size" zaziruv-cli --sim-option --e
expect "upload utility" zaziruv --screenshot-window u
expect "--screenshot --screenshot-delay --screenshot-window" zaziruv --sc
expect "$d/ttyUSB0" zaziruv --port "$d/ttyU"
exit $failed
