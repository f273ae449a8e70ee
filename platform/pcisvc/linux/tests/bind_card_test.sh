#!/usr/bin/env bash
# scripts/bind-card on a fake sysfs tree, dry run: it picks out the cards of
# the two models, leaves a card bound already alone, unbinds another driver
# first, and says when there is no card.
set -euo pipefail
script=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dev=$tree/bus/pci/devices
device() {  # address vendor device driver
  mkdir -p "$dev/$1"
  echo "$2" >"$dev/$1/vendor"
  echo "$3" >"$dev/$1/device"
  if [ -n "$4" ]; then ln -s "../../../bus/pci/drivers/$4" "$dev/$1/driver"; fi
}
device 0000:00:1f.0 0x8086 0x2918 lpc_ich
device 0000:02:00.0 0x1d7a 0x0999 ""
device 0000:03:00.0 0x1d7a 0x0210 ""
device 0000:04:00.0 0x1d7a 0x0310 parport_pc
device 0000:05:00.0 0x1d7a 0x0210 uio_pci_generic

fail() {
  echo "bind_card_test: $*" >&2
  exit 1
}
out=$(SYSFS=$tree "$script" --dry-run)
expected="echo uio_pci_generic > $dev/0000:03:00.0/driver_override
echo 0000:03:00.0 > $tree/bus/pci/drivers_probe
echo uio_pci_generic > $dev/0000:04:00.0/driver_override
echo 0000:04:00.0 > $dev/0000:04:00.0/driver/unbind
echo 0000:04:00.0 > $tree/bus/pci/drivers_probe
0000:05:00.0: bound to uio_pci_generic already"
[ "$out" = "$expected" ] || fail "every card: got
$out"

out=$(SYSFS=$tree "$script" --dry-run 0000:04:00.0)
[ "$(echo "$out" | wc -l)" -eq 3 ] || fail "one card: got
$out"

if SYSFS=$tree "$script" --dry-run 0000:02:00.0 2>"$tree/err"; then fail "no card: status 0"; fi
grep -q "no card found" "$tree/err" || fail "no card: $(cat "$tree/err")"
echo "bind_card_test: passed"
