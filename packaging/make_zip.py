#!/usr/bin/python3
"""Packs files into a zip archive that is the same bytes each time it is made.

    make_zip.py OUT.zip FILE...

Each file becomes a member under its own name (no folders), in order of
name. Every member is dated SOURCE_DATE_EPOCH (in UTC; now when it is not
set) and carries MS-DOS attributes only, so no owner, mode or extra time
field of the machine that made it; the data is deflated at level 9.
"""

import os
import sys
import time
import zipfile

# The earliest date a zip member can hold.
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


def main(argv):
    if len(argv) < 3:
        sys.stderr.write("usage: make_zip.py OUT.zip FILE...\n")
        return 2
    out, files = argv[1], argv[2:]
    members = {os.path.basename(path): path for path in files}
    if len(members) != len(files):
        sys.stderr.write("make_zip.py: two files of the same name\n")
        return 2
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", time.time()))
    date = max(time.gmtime(epoch)[:6], ZIP_EPOCH)
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in sorted(members):
            info = zipfile.ZipInfo(name, date)
            info.create_system = 0  # MS-DOS
            info.external_attr = 0
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(members[name], "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)
    os.replace(partial, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
