# qorvex.nsh: under a UEFI 2.x shell, typing "qorvex [/q] dump.txt out.vkf"
# runs this script ahead of qorvex.efi. It starts qorvex.efi through
# shellbridge.efi with the same arguments.
#
# %0 is the script's full path (FS1:\qorvex.NSH) and the shell resolves "\.."
# in a path, so both images come from the script's own folder, whatever the
# mapping and the current folder. %1 to %9 keep the quotes the user typed;
# those not typed arrive as "", which qorvex ignores.
#
# Comment lines and lines that begin with @ are not echoed. The script never
# switches echo off: a script's "echo -off" can outlast it in the caller.
# The command stays the last line, so %lasterror% is then qorvex's status.
@"%0\..\shellbridge.efi" "%0\..\qorvex.efi" %1 %2 %3 %4 %5 %6 %7 %8 %9
