#!/usr/bin/env python3
"""Reads benchmark rows on standard input and prints one Markdown table and the goal count.

A row is one line: row|FIGURE|UNIT|OURS|ANCHOR|GOAL, where OURS and ANCHOR are comma-separated
samples taken interleaved in the same run, and GOAL is one of
  x<=R   ours at most R times the anchor        x>=R   ours at least R times the anchor
  +<=D   ours at most the anchor plus D units   <=V    ours at most V units (anchor: zero)
  info   no goal: the figure is shown beside its anchor for information, and not counted
Goals are judged on the best sample of each side (the least disturbed one on a shared machine: the
highest for an x>= goal, the lowest otherwise); the medians are shown beside them. Other lines are
passed through to standard error.
"""

import statistics
import sys


def describe(goal, unit):
    if goal == "info":
        return "information"
    if goal.startswith("x<="):
        return f"≤ {goal[3:]}×"
    if goal.startswith("x>="):
        return f"≥ {goal[3:]}×"
    if goal.startswith("+<="):
        return f"≤ anchor + {goal[3:]} {unit}"
    return f"≤ {goal[2:]} {unit}"


def met(goal, ours, anchor):
    if goal.startswith("x<="):
        return ours <= float(goal[3:]) * anchor
    if goal.startswith("x>="):
        return ours >= float(goal[3:]) * anchor
    if goal.startswith("+<="):
        return ours <= anchor + float(goal[3:])
    return ours <= float(goal[2:])


def number(value):
    return f"{value:.3g}" if abs(value) < 100 else f"{value:.0f}"


def main():
    rows = []
    for line in sys.stdin:
        line = line.rstrip("\n")
        if not line.startswith("row|"):
            print(line, file=sys.stderr)
            continue
        _, figure, unit, ours, anchor, goal = line.split("|")
        rows.append((figure, unit, [float(v) for v in ours.split(",") if v],
                     [float(v) for v in anchor.split(",") if v], goal))

    print("| figure | ours best / median | anchor best / median | ratio (best) | goal | met |")
    print("|---|---|---|---|---|---|")
    count = 0
    for figure, unit, ours, anchor, goal in rows:
        if not ours or not anchor:
            print(f"| {figure} | no samples | | | {describe(goal, unit)} | "
                  f"{'–' if goal == 'info' else 'no'} |")
            continue
        pick = max if goal.startswith("x>=") else min
        best, usual = pick(ours), statistics.median(ours)
        anchorBest, anchorUsual = pick(anchor), statistics.median(anchor)
        ratio = f"{best / anchorBest:.2f}×" if anchorBest > 0 else "–"
        if goal == "info":
            verdict = "–"
        else:
            ok = met(goal, best, anchorBest)
            count += ok
            verdict = "yes" if ok else "no"
        print(f"| {figure} | {number(best)} / {number(usual)} {unit} | "
              f"{number(anchorBest)} / {number(anchorUsual)} {unit} | {ratio} | "
              f"{describe(goal, unit)} | {verdict} |")
    print()
    goals = sum(1 for row in rows if row[4] != "info")
    print(f"goals met: {count} of {goals}")


main()
