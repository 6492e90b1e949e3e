#!/usr/bin/env python3
# Prints the benchmark table from the result files of tools/bench/run:
# medians with min and max per figure, ours against the floor, and the
# targets met or missed.
#   table.py <results dir> <runs> <runs at the larger sizes>
import glob
import os
import re
import statistics
import sys

TARGET = 1.25
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


def figure(runs, name, scale=1.0):
    values = [r[name] * scale for r in runs if name in r]
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
    results, runs, runs_large = sys.argv[1], sys.argv[2], sys.argv[3]
    ours = load(results, "ours")
    floor = load(results, "floor")
    fresh = load(results, "fresh")
    reader = load(results, "reader")
    sizes = sorted(set(ours) | set(floor))
    rows = []

    def row(label, a, b=None, verdict_text="", unit="ms", digits=0):
        rows.append((label, show(a, unit, digits), show(b, unit, digits) if b is not None else "", verdict_text))

    per_item = {}
    for items in sizes:
        o, fl = ours.get(items, []), floor.get(items, [])
        n = len(o)
        rows.append(("%d files, %d keys, %d groups (%d runs)" % (items, items, items // 100, n), "ours", "floor", "ours/floor"))
        for phase, count in (("files", items), ("groups", items // 100), ("registry", items)):
            a, b = figure(o, "ours_%s_ms" % phase), figure(fl, "floor_%s_ms" % phase)
            row("  %s phase, work" % phase, a, b, verdict(ratio(a, b)))
            reads = figure(fl, "floor_%s_read_ms" % phase)
            if reads is not None:
                row("    of it the profile reads", None, reads)
            if phase != "groups":
                pa = figure(o, "ours_%s_ms" % phase, 1000.0 / count)
                pb = figure(fl, "floor_%s_ms" % phase, 1000.0 / count)
                per_item[(phase, items)] = (pa, pb)
                row("    per item", pa, pb, "", "us", 0)
        waited = [sum(r.get("wait_%s_ms" % p, 0.0) for p in ("files", "groups", "registry")) for r in o]
        if waited:
            rows.append(("  minimum phase time waited out", show((statistics.median(waited), min(waited), max(waited), n)), "", "by design"))
        row("  launch to question", figure(o, "launch_to_question_ms"))
        row("  Yes to progress dialog", figure(o, "yes_to_dialog_ms"))
        row("  finished to both processes gone", figure(o, "finished_to_gone_ms"), figure(fl, "floor_cleanup_ms"))
        total, fproc = figure(o, "total_ms"), figure(fl, "floor_process_ms")
        target = None
        if fproc is not None:
            target = (fproc[0] + MINIMUM_MS, fproc[1] + MINIMUM_MS, fproc[2] + MINIMUM_MS, fproc[3])
        row("  whole run (floor: its process + 3 s)", total, target, verdict(ratio(total, target)))
        if items in reader:
            r = reader[items]
            rows.append(("  user reads the question for 2.5 s (%d runs)" % len(r), "", "", ""))
            for phase in ("files", "groups", "registry"):
                a, b = figure(r, "ours_%s_ms" % phase), figure(fl, "floor_%s_ms" % phase)
                row("    %s phase, work" % phase, a, b, verdict(ratio(a, b)))
            rt = figure(r, "total_ms")
            if rt is not None and target is not None:
                rt2 = (rt[0] - 2500, rt[1] - 2500, rt[2] - 2500, rt[3])
                row("    whole run less the 2.5 s", rt2, target, verdict(ratio(rt2, target)))
        if items in fresh:
            a, b = figure(fresh[items], "floor_files_ms"), figure(fl, "floor_files_ms")
            row("  floor files phase on a just-written file", a, b, "%.2fx of settled" % ratio(a, b) if ratio(a, b) else "")
    if len(sizes) >= 2:
        small, large = sizes[0], sizes[-1]
        rows.append(("cost per item, %d against %d items" % (large, small), "ours", "floor", "ours"))
        for phase in ("files", "registry"):
            s, l = per_item.get((phase, small)), per_item.get((phase, large))
            if s and l and s[0] and l[0]:
                rows.append(("  %s: us per item, %d / %d" % (phase, small, large),
                             "%.0f / %.0f" % (s[0][0], l[0][0]),
                             "%.0f / %.0f" % (s[1][0], l[1][0]) if s[1] and l[1] else "",
                             "%.2fx %s" % (l[0][0] / s[0][0], "flat" if l[0][0] / s[0][0] <= TARGET else "GROWS")))

    width = [max(len(r[i]) for r in rows) for i in range(4)]
    for r in rows:
        print("  ".join(r[i].ljust(width[i]) for i in range(4)).rstrip())

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
    print("runs per figure: %s at 1,000 items, %s at larger sizes; medians (min-max)" % (runs, runs_large))


main()
