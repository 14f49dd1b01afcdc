#!/usr/bin/env python3
"""Makes the archives of the unpacking benchmark (scripts/bench-unpack) in OUTDIR.

    make-unpack-archives.py OUTDIR COUNT...

For each COUNT: files-COUNT.zip (COUNT small files in Graphics/, as a driver archive holds
them) and files-COUNT.cab (COUNT small files, gcab). deep.zip holds one file 1,000 folders
deep, which Windows' path length limit refuses.
"""
import os
import subprocess
import sys
import tempfile
import zipfile


def names(count):
    return ["file-%05d.inf" % i for i in range(count)]


def make_zip(path, count):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name in names(count):
            archive.writestr("Graphics/" + name, "[Version] " + name + "\r\n")


def make_cab(path, count):
    with tempfile.TemporaryDirectory() as work:
        for name in names(count):
            with open(os.path.join(work, name), "w") as f:
                f.write("[Version] " + name + "\r\n")
        subprocess.run(["gcab", "--create", "--zip", "--nopath", path] + names(count),
                       cwd=work, check=True, stdout=subprocess.DEVNULL)


def main(outdir, counts):
    os.makedirs(outdir, exist_ok=True)
    for count in counts:
        make_zip(os.path.join(outdir, "files-%d.zip" % count), count)
        make_cab(os.path.join(outdir, "files-%d.cab" % count), count)
    with zipfile.ZipFile(os.path.join(outdir, "deep.zip"), "w") as archive:
        archive.writestr("d/" * 1000 + "deep.inf", "deep")


if __name__ == "__main__":
    main(sys.argv[1], [int(c) for c in sys.argv[2:]])
