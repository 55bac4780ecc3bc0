#!/usr/bin/env bash
# Checks the USB access rule: with `udevadm verify` where this system's udev
# has it, and always by its text: every line is a list of KEY op "value" pairs,
# and the rule grants seat access to the instrument's converter under both of
# its product strings and keeps ModemManager away from it.
set -u
rules=${1:?usage: check_udev_rule.sh RULES_FILE}
fail() { echo "udev rule: $*" >&2; exit 1; }

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
    udevadm verify --resolve-names=never "$rules" || fail "udevadm verify rejects $rules"
fi

pair='[A-Z_]+(\{[A-Za-z_]+\})?(==|!=|\+=|-=|:=|=)"[^"]*"'
rule_lines=$(grep -v -E '^\s*(#.*)?$' "$rules") || fail "no rule in $rules"
while IFS= read -r line; do
    [[ $line =~ ^$pair(,\ $pair)*$ ]] || fail "not a list of KEY op \"value\" pairs: $line"
    for key in 'ATTRS{idVendor}=="0403"' 'ATTRS{idProduct}=="6010"' \
               'ATTRS{product}=="Tavlin|USB Serial Converter"' 'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
        [[ $line == *"$key"* ]] || fail "a line lacks $key: $line"
    done
done <<< "$rule_lines"

device_line=$(grep -F 'ENV{DEVTYPE}=="usb_device"' <<< "$rule_lines") || fail "no rule for the USB device"
[[ $device_line == *'TAG+="uaccess"'* ]] || fail "the device rule does not grant seat access"
[[ $device_line == *'MODE="0660"'* && $device_line == *'GROUP="plugdev"'* ]] ||
    fail "the device rule does not open it to the plugdev group"
echo "udev rule: $rules passes"
