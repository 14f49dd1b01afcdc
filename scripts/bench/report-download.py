#!/usr/bin/env python3
"""Prints the tables of scripts/bench-download from its results file.

Each line of the results file is one run: "case MiB tool run seconds user sys maxrss_kib".
A second file, when given, holds the runs of the cases that run a download again (see
show_restarted).
Every figure is the median of the runs of one tool in one case; the ratios compare
orvex-download with the peers measured in the same invocation: throughput ours/peer (> 1: we
are faster), CPU seconds ours/peer and peak memory ours/peer (< 1: we use less).
"""

import collections
import statistics
import sys

OURS = "orvex-download"
TITLES = {
    "unthrottled": "Unthrottled loopback",
    "capped": "Each connection capped by the server (nginx limit_rate)",
    "latency": "Added latency (delaying relay in front of nginx)",
    "growth": "Growth: CPU per MiB and peak memory by file size",
    "sha256": "With verification (SHA-256 of the whole file)",
    "straggler": "One connection at a tenth of the others' rate (the file's first range)",
}
# The cases that run a download again: their title and the largest share of the file the
# second run may fetch.
RESTARTED = collections.OrderedDict([
    ("resume", ("Resume: killed once half the file was journaled, then run again", 0.55)),
    ("cache-killed", ("Cache: killed at half, then run again to another destination", 0.55)),
    ("cache-failed", ("Cache: completed (the installation failed), run again to another "
                      "destination", 0.0)),
])


def load(path):
    runs = collections.defaultdict(list)
    order = []
    with open(path) as results:
        for line in results:
            fields = line.split()
            if len(fields) != 8:
                continue
            case, mib, tool = fields[0], int(fields[1]), fields[2]
            seconds, user, system, rss = (float(value) for value in fields[4:])
            key = (case, mib, tool)
            if key not in runs:
                order.append(key)
            runs[key].append((seconds, user + system, rss / 1024.0))
    return runs, order


def medians(samples):
    return tuple(statistics.median(sample[i] for sample in samples) for i in range(3))


def ratio(numerator, denominator):
    return "%.2f" % (numerator / denominator) if denominator > 0 else "n/a"


def show_case(case, mib, tools, runs):
    print("%s, %d MiB (median of %d runs)" % (TITLES.get(case, case), mib,
                                               len(runs[(case, mib, tools[0])])))
    print("  %-15s %9s %10s %8s %10s" % ("tool", "seconds", "MiB/s", "CPU s", "peak MiB"))
    figures = {}
    for tool in tools:
        seconds, cpu, memory = medians(runs[(case, mib, tool)])
        figures[tool] = (seconds, cpu, memory)
        print("  %-15s %9.2f %10.1f %8.2f %10.1f" % (tool, seconds, mib / seconds, cpu, memory))
    if OURS in figures:
        ours = figures[OURS]
        print("  %-15s %10s %8s %12s" % ("ratios", "throughput", "CPU s", "peak memory"))
        for tool in tools:
            if tool == OURS:
                continue
            peer = figures[tool]
            print("  ours/%-10s %10s %8s %12s" % (tool, ratio(peer[0], ours[0]),
                                                  ratio(ours[1], peer[1]),
                                                  ratio(ours[2], peer[2])))
    print()


def show_growth(keys, runs):
    sizes = sorted({mib for _, mib, _ in keys})
    tools = [tool for tool in (OURS, "curl", "aria2c") if any(k[2] == tool for k in keys)]
    print(TITLES["growth"] + " (median of runs)")
    print("  %-15s %6s %9s %10s %12s %10s" % ("tool", "MiB", "seconds", "CPU s",
                                               "CPU ms/MiB", "peak MiB"))
    per_mib = {}
    for tool in tools:
        for mib in sizes:
            key = ("growth", mib, tool)
            if key not in runs:
                continue
            seconds, cpu, memory = medians(runs[key])
            per_mib[(tool, mib)] = cpu * 1000.0 / mib
            print("  %-15s %6d %9.2f %10.2f %12.2f %10.1f" % (tool, mib, seconds, cpu,
                                                              per_mib[(tool, mib)], memory))
    if len(sizes) > 1:
        print("  CPU per MiB, largest file / smallest file (flat is 1.00):")
        for tool in tools:
            small, large = (tool, sizes[0]), (tool, sizes[-1])
            if small in per_mib and large in per_mib:
                print("    %-15s %s" % (tool, ratio(per_mib[large], per_mib[small])))
    print()


def show_restarted(path):
    """Lines "CASE MiB run first_run_journaled second_run_bytes file_bytes"."""
    rows = collections.defaultdict(list)
    for line in open(path):
        fields = line.split()
        if len(fields) == 6 and fields[0] in RESTARTED:
            rows[fields[0]].append(fields)
    for case, (title, target) in RESTARTED.items():
        if not rows[case]:
            continue
        print("%s (%d runs)" % (title, len(rows[case])))
        print("  %-5s %14s %16s %14s" % ("run", "journaled", "second run sent", "of the file"))
        shares = []
        for _, _, run, journaled, sent, size in rows[case]:
            share = int(sent) / int(size)
            shares.append(share)
            print("  %-5s %13.1f%% %16d %13.1f%%" % (run, 100.0 * int(journaled) / int(size),
                                                      int(sent), 100.0 * share))
        worst = max(shares)
        print("  largest share %.1f%% (target <= %.0f%%): %s" % (
            100.0 * worst, 100.0 * target, "met" if worst <= target else "MISSED"))
        print()


def main():
    runs, order = load(sys.argv[1])
    shown = set()
    growth = [key for key in order if key[0] == "growth"]
    for case, mib, _ in order:
        if case == "growth" or (case, mib) in shown:
            continue
        shown.add((case, mib))
        tools = [key[2] for key in order if key[0] == case and key[1] == mib]
        show_case(case, mib, tools, runs)
    if growth:
        show_growth(growth, runs)
    if len(sys.argv) > 2:
        show_restarted(sys.argv[2])


if __name__ == "__main__":
    main()
