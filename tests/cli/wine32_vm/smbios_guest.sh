#!/bin/sh
# Runs inside the virtual machine of smbios_vm.py: takes the machine's SMBIOS
# table and dmidecode's reading of it as the reference, then runs qorvexw on
# the real sysfs files: a backup, a verify of it, a verify of an edited copy,
# and a backup by a user who is not root. Everything lands in /tmp/out.
#
#   smbios_guest.sh PROGRAM [WINDOWS_PROGRAM WINE_LOADER]
#
# With a Windows program, it also backs the table up through Wine, whose
# GetSystemFirmwareTable builds its table from the kernel's DMI attributes.
out=/tmp/out
program=$1 windows_program=$2 loader=$3
cd "$out" || exit 1

dmidecode --dump-bin "$out/table.bin" >"$out/dump-bin.log" 2>&1
for keyword in bios-vendor bios-version bios-release-date system-manufacturer system-product-name \
  system-version system-serial-number system-uuid system-sku-number system-family \
  baseboard-manufacturer baseboard-product-name baseboard-version baseboard-serial-number \
  baseboard-asset-tag chassis-manufacturer chassis-version chassis-serial-number chassis-asset-tag; do
  printf '%s=%s\n' "$keyword" "$(dmidecode -s "$keyword")"
done >"$out/dmidecode-strings"
dmidecode -t 2 -t 3 -t 11 >"$out/dmidecode-types" 2>&1
dmidecode -u -t 3 >"$out/dmidecode-chassis-hex" 2>&1

run() {
  name=$1
  shift
  "$@" >"$out/$name.out" 2>&1
  echo $? >"$out/$name.rc"
}
run backup "$program" /smbios "$out/machine.vkf"
run verify "$program" /verify "$out/machine.vkf" /q
sed 's/^\(SerialNum = [A-Z0-9-]*\)/\1X/' "$out/machine.vkf" >"$out/edited.vkf"
run verify-edited "$program" /verify "$out/edited.vkf"
run backup-not-root setpriv --reuid=65534 --regid=65534 --clear-groups "$program" /smbios /tmp/nobody.vkf
if [ -n "$windows_program" ]; then
  export HOME=/tmp/home WINEPREFIX=/tmp/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  mkdir -p "$HOME" "$WINEPREFIX"
  "$loader" wineboot -i </dev/null >"$out/wine.log" 2>&1
  run backup-windows "$loader" "$windows_program" /smbios 'Z:\tmp\out\windows.vkf' /q
fi
echo done >"$out/rc"
sync
