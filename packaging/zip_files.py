#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files' names and contents.

  zip_files.py ARCHIVE EPOCH ROOT NAME...

stores ROOT/NAME under NAME for each NAME, in the order given, with the
date EPOCH (seconds since 1970, the release's), no owner and no extra
fields, so that two builds of the same sources give the same archive.
"""

import sys
import time
import zipfile


def main():
    archive, epoch, root, names = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]
    date = time.gmtime(epoch)[:6]
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as out:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=date)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open("%s/%s" % (root, name), "rb") as f:
                out.writestr(entry, f.read())
    return 0


if __name__ == "__main__":
    sys.exit(main())
