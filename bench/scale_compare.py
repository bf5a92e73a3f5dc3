#!/usr/bin/env python3
"""The figures of bench/scale.py's runs side by side, each against its goal.

Usage: scale_compare.py WORK_DIR [LABEL...]   (default: before after; a missing run is left out)
"""
import json
import os
import sys

SETTLE, TASK_POLL = 5.0, 10.0
LIMIT_LATENCY, LIMIT_IDLE, LIMIT_MB, LIMIT_HANDLES, LIMIT_START = SETTLE + 0.5, 1.0, 40.0, 3000, 1.2


def slowest(run):
    ready = run.get("ready") or {"-": 0}
    name = max(ready, key=ready.get)
    return ready[name], name


def row(what, runs, show, goal=None, met=None):
    cells = [show(r) for r in runs]
    verdict = "" if met is None else ("met" if met(runs[-1]) else "MISSED")
    print("%-34s %s %-22s %s" % (what, " ".join("%-22s" % c for c in cells), goal or "", verdict))


def latency_rows(runs):
    cats = sorted({c for r in runs for c in r["latency"]})
    for cat in cats:
        limit = TASK_POLL + 0.5 if cat == "Task Scheduler" else LIMIT_LATENCY

        def show(r, cat=cat):
            f = r["latency"].get(cat)
            if not f:
                return "not watched"
            return "%.2f / %.2f s%s" % (f["median"], f["worst"], " (%d lost)" % f["missing"] if f["missing"] else "")

        row("  " + cat, runs, show, "worst <= %.1f s" % limit,
            lambda r, cat=cat, limit=limit: cat in r["latency"] and r["latency"][cat]["worst"] <= limit
            and not r["latency"][cat]["missing"])


def main():
    work = sys.argv[1]
    labels = sys.argv[2:] or ["before", "after"]
    labels = [l for l in labels if os.path.exists(os.path.join(work, l + ".json"))]
    runs = [json.load(open(os.path.join(work, l + ".json"))) for l in labels]
    if not runs:
        return 1
    print("%-34s %s %-22s %s" % ("what", " ".join("%-22s" % l for l in labels), "goal", ""))
    base = slowest(runs[0])[0]
    row("monitors in the trace", runs, lambda r: str(len(r["ready"])))
    row("start to every first snapshot", runs, lambda r: "%.2f s (%s)" % slowest(r),
        "<= %.1f x %s = %.2f s" % (LIMIT_START, labels[0], LIMIT_START * base) if len(runs) > 1 else None,
        (lambda r: slowest(r)[0] <= LIMIT_START * base) if len(runs) > 1 else None)
    print("change to CSV line, median / worst:")
    latency_rows(runs)
    row("idle, nothing written", runs, lambda r: "%.2f %%" % r["idle"])
    row("idle, a service writing", runs, lambda r: "%.2f %%" % r["idle_service"])
    row("idle, Windows' churn", runs, lambda r: "%.2f %%" % r["idle_churn"], "< %.0f %% of a core" % LIMIT_IDLE,
        lambda r: r["idle_churn"] < LIMIT_IDLE)
    for when, key in (("at rest", "rest"), ("after the bursts", "bursts")):
        row("private memory " + when, runs, lambda r, key=key: "%.1f MB" % r[key]["private"], "< %.0f MB" % LIMIT_MB,
            lambda r, key=key: r[key]["private"] < LIMIT_MB)
        row("  less Wine's thread areas", runs,
            lambda r, key=key: "%.1f MB" % (r[key]["private"] - r[key].get("threads", 0)))
        row("handles " + when, runs, lambda r, key=key: str(r[key]["handles"]), "< %d" % LIMIT_HANDLES,
            lambda r, key=key: (r[key]["handles"] or 0) < LIMIT_HANDLES)
    for what, key in (("5,000 Run values, last line", "burst_run"), ("2,000 COM classes, last line", "burst_com")):
        row(what, runs, lambda r, key=key: "%.2f s" % r[key] if r[key] else "lines lost")
    row("saved snapshots", runs, lambda r: "%.2f MB" % (r["snapshot_bytes"] / 1e6))

    def restart(r):
        ratios = [r["restart"]["with"][m] / t for m, t in r["restart"]["without"].items()
                  if t and m in r["restart"]["with"]]
        return "%.2f to %.2f x" % (min(ratios), max(ratios)) if ratios else "n/a"
    row("start with saved / without", runs, restart)
    row("load average (start, idle, end)", runs, lambda r: ", ".join("%.1f" % x for x in r["load"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
