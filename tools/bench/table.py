#!/usr/bin/env python3
# Prints the benchmark table from the result files of tools/bench/run:
# medians with min and max per figure, ours against the two floors (the
# removal calls alone with the lists in memory, and with the lists read
# through the profile functions), and the targets met or missed.
#   table.py <results dir> <runs> <runs at the sizes between> <runs at the largest size>
import glob
import os
import re
import statistics
import sys

TARGET = 1.25           # phases and the whole run against the in-memory floor
FLAT = 1.15             # cost per item, largest against smallest size
LONGEST_WAIT_MS = 100.0
MINIMUM_MS = 3000.0     # three phases of at least one second each


def load(results, kind):
    """{items: [ {name: value}, ... ]} for the result files of one kind."""
    runs = {}
    for path in sorted(glob.glob(os.path.join(results, kind + "-*-*.txt"))):
        m = re.match(r".*-(\d+)-(\d+)\.txt$", path)
        if not m:
            continue
        values = {}
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2:
                    try:
                        values[parts[0]] = float(parts[1])
                    except ValueError:
                        pass
                elif parts and parts[0] == "error":
                    values["error"] = 1.0
        if "error" not in values:
            runs.setdefault(int(m.group(1)), []).append(values)
    return runs


def figure(runs, name, scale=1.0, combine=None):
    values = []
    for r in runs:
        if combine is not None:
            v = combine(r)
            if v is not None:
                values.append(v * scale)
        elif name in r:
            values.append(r[name] * scale)
    if not values:
        return None
    return statistics.median(values), min(values), max(values), len(values)


def show(f, unit="ms", digits=0):
    if f is None:
        return "-"
    med, lo, hi, _ = f
    fmt = "%%.%df" % digits
    return (fmt % med) + " " + unit + " (" + (fmt % lo) + "-" + (fmt % hi) + ")"


def ratio(a, b):
    if a is None or b is None or b[0] <= 0:
        return None
    return a[0] / b[0]


def verdict(r, limit=TARGET):
    if r is None:
        return "-"
    return "%.2fx %s" % (r, "met" if r <= limit else "MISSED")


def main():
    results = sys.argv[1]
    runs, runs_large, runs_largest = sys.argv[2], sys.argv[3], sys.argv[4]
    ours = load(results, "ours")
    floor = load(results, "floor")
    sizes = sorted(set(ours) | set(floor))
    rows = []

    def row(label, a="", b="", c="", d=""):
        rows.append((label, a, b, c, d))

    per_item = {}
    for items in sizes:
        o, fl = ours.get(items, []), floor.get(items, [])
        groups = items // 100
        row("%d files, %d keys, %d groups (%d runs)" % (items, items, groups, len(o)),
            "ours", "floor, in memory", "floor, profile reads", "ours/in memory")
        for phase, count, unit in (("files", items, "file"), ("groups", groups, "group"),
                                   ("registry", items, "key")):
            a = figure(o, "ours_%s_ms" % phase)
            mem = figure(fl, "floor_mem_%s_ms" % phase)
            prof = figure(fl, "floor_%s_ms" % phase)
            targeted = phase != "registry"
            row("  %s phase, work" % phase, show(a), show(mem), show(prof),
                verdict(ratio(a, mem)) if targeted else "%.2fx" % ratio(a, mem) if ratio(a, mem) else "-")
            pa = figure(o, "ours_%s_ms" % phase, 1000.0 / count)
            pm = figure(fl, "floor_mem_%s_ms" % phase, 1000.0 / count)
            per_item[(phase, items)] = pa
            row("    per %s" % unit, show(pa, "us"), show(pm, "us"))
        waited = figure(o, "", combine=lambda r: sum(r.get("wait_%s_ms" % p, 0.0)
                                                     for p in ("files", "groups", "registry")))
        row("  minimum phase time waited out", show(waited), "", "", "by design")
        wait = figure(o, "longest_wait_ms")
        row("  longest wait for an answer", show(wait, digits=1), "", "",
            "-" if wait is None else "%s (%.0f ms)" % ("met" if wait[2] <= LONGEST_WAIT_MS else "MISSED",
                                                       LONGEST_WAIT_MS))
        ws = figure(o, "worker_peak_working_set_kb", 1 / 1024.0)
        pv = figure(o, "worker_peak_private_kb", 1 / 1024.0)
        row("  worker peak memory: working set", show(ws, "MB", 1))
        row("                      private bytes", show(pv, "MB", 1))
        row("  launch to question", show(figure(o, "launch_to_question_ms")))
        row("  Yes to progress dialog", show(figure(o, "yes_to_dialog_ms")))
        row("  finished to both processes gone", show(figure(o, "finished_to_gone_ms")),
            show(figure(fl, "floor_cleanup_ms")))
        total = figure(o, "total_ms")
        reads = lambda r: sum(r.get("floor_%s_read_ms" % p, 0.0) for p in ("files", "groups", "registry"))
        in_memory = figure(fl, "", combine=lambda r: r["floor_process_ms"] - reads(r) + MINIMUM_MS
                           if "floor_process_ms" in r else None)
        profile = figure(fl, "", combine=lambda r: r["floor_process_ms"] + MINIMUM_MS
                         if "floor_process_ms" in r else None)
        row("  whole run (floor: its process + 3 s)", show(total), show(in_memory), show(profile),
            verdict(ratio(total, in_memory)))
    if len(sizes) >= 2:
        small, large = sizes[0], sizes[-1]
        row("cost per item, %d against %d items" % (large, small), "ours", "", "", "")
        for phase, unit in (("files", "file"), ("groups", "group"), ("registry", "key")):
            s, l = per_item.get((phase, small)), per_item.get((phase, large))
            if s and l:
                r = l[0] / s[0]
                row("  %s: us per %s, %d / %d" % (phase, unit, small, large), "%.0f / %.0f" % (s[0], l[0]),
                    "", "", "%.2fx %s" % (r, "flat" if r <= FLAT else "GROWS"))

    width = [max(len(r[i]) for r in rows) for i in range(5)]
    for r in rows:
        print("  ".join(r[i].ljust(width[i]) for i in range(5)).rstrip())

    sizes_path = os.path.join(results, "sizes.txt")
    if os.path.exists(sizes_path):
        print("executable size:")
        for line in open(sizes_path):
            cb, path = line.split(None, 1)
            print("  %7d bytes  %s" % (int(cb), path.strip()))
    detail = os.path.join(results, "detail-log.txt")
    if os.path.exists(detail):
        print("detail log appends (bench_detail_log, dialog shown):")
        for line in open(detail):
            if line.strip():
                print("  " + re.sub(r"\s+", " ", line.strip()))
    print("runs per figure: %s at 1,000 items, %s at the sizes between, %s at the largest; "
          "medians (min-max); the longest wait is held against its maximum" % (runs, runs_large, runs_largest))


main()
