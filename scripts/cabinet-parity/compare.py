#!/usr/bin/env python3
"""Compares the two builds' extractions for scripts/cabinet-parity.sh:

    compare.py OUTDIR HOST_DESTINATION

OUTDIR holds wine.txt and host.txt (a cabinet's name, a tab, "ok" or FDI's error text, per
line) and wine-files.txt and host-files.txt ("cabinet/file  sha256" per line). Prints every
difference and exits 1 when there is one.

One difference is Wine's, not the simulated machine's: Windows refuses a file whose full path
reaches MAX_PATH (260 characters with its terminating zero), which the simulated machine does
too, while Wine creates it. A cabinet whose extracted files Wine wrote at such a path, and on
which the host stopped with "Application aborted" (the copy-file notification could not open
the file), is listed as such and not counted.
"""
import sys

MAX_PATH = 260


def verdicts(path):
    found = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            name, _, verdict = line.rstrip("\n").partition("\t")
            found[name] = verdict
    return found


def files(path):
    found = {}
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            entry, _, digest = line.rstrip("\n").rpartition("  ")
            cabinet, _, name = entry.partition("/")
            found.setdefault(cabinet, {})[name] = digest
    return found


def main(out, host_destination):
    wine, host = verdicts(out + "/wine.txt"), verdicts(out + "/host.txt")
    wine_files, host_files = files(out + "/wine-files.txt"), files(out + "/host-files.txt")
    differences = 0
    wines = 0
    for cabinet in sorted(set(wine) | set(host)):
        same = wine.get(cabinet) == host.get(cabinet) and \
            wine_files.get(cabinet, {}) == host_files.get(cabinet, {})
        if same:
            continue
        long_paths = [name for name in wine_files.get(cabinet, {})
                      if len(host_destination + "\\" + cabinet + "\\" + name) + 1 > MAX_PATH]
        if long_paths and host.get(cabinet) == "Application aborted":
            print("%s: Wine wrote a path beyond MAX_PATH that Windows refuses (%d characters); "
                  "the simulated machine refuses it as Windows does" %
                  (cabinet, max(len(host_destination + "\\" + cabinet + "\\" + n)
                                for n in long_paths)))
            wines += 1
            continue
        differences += 1
        print("%s: Wine %r, host %r" % (cabinet, wine.get(cabinet), host.get(cabinet)))
        for name in sorted(set(wine_files.get(cabinet, {})) | set(host_files.get(cabinet, {}))):
            w, h = wine_files.get(cabinet, {}).get(name), host_files.get(cabinet, {}).get(name)
            if w != h:
                print("    %s: Wine %s, host %s" % (name, w or "(none)", h or "(none)"))
    extracted = sum(1 for v in host.values() if v == "ok")
    print("cabinet parity: %d of %d cabinets agree, %d more differ only by Wine's MAX_PATH, "
          "%d differ (the host extracted %d cabinets, %d files)" %
          (len(set(wine) | set(host)) - differences - wines, len(set(wine) | set(host)), wines,
           differences, extracted, sum(len(f) for f in host_files.values())))
    return 1 if differences else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
