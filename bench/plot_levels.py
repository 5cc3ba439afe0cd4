#!/usr/bin/env python3
"""Draws the levels of a studio change (studio_bench's csv) into a PNG with
ImageMagick: the old song, the new song and the voice over time."""
import csv
import os
import subprocess
import sys

W, H, LEFT, RIGHT, TOP, BOTTOM = 1000, 440, 60, 20, 30, 40
LOW, HIGH = -60.0, 0.0


def main(src, png):
    rows = [r for r in csv.DictReader(open(src))]
    rows = [r for r in rows if -1.0 <= float(r["seconds"]) <= 30.0]
    t0, t1 = float(rows[0]["seconds"]), float(rows[-1]["seconds"])

    def x(t):
        return LEFT + (t - t0) / (t1 - t0) * (W - LEFT - RIGHT)

    def y(db):
        db = min(HIGH, max(LOW, db))
        return TOP + (HIGH - db) / (HIGH - LOW) * (H - TOP - BOTTOM)

    draw = ["stroke #dddddd stroke-width 1"]
    for db in range(int(LOW), int(HIGH) + 1, 10):
        draw.append(f"line {LEFT},{y(db):.1f} {W - RIGHT},{y(db):.1f}")
        draw.append(f"text 8,{y(db) + 4:.1f} '{db} dB'")
    for s in range(int(t0), int(t1) + 1, 2):
        draw.append(f"line {x(s):.1f},{TOP} {x(s):.1f},{H - BOTTOM}")
        draw.append(f"text {x(s) - 6:.1f},{H - BOTTOM + 16} '{s} s'")
    for field, colour in (("old", "#1f5fbf"), ("new", "#2a9d3a"), ("voice", "#d03030")):
        # Every 30 ms keeps the drawing light and the shape exact enough.
        points = " ".join(f"{x(float(r['seconds'])):.1f},{y(float(r[field])):.1f}"
                          for r in rows[::3])
        draw.append(f"stroke {colour} fill none stroke-width 1.5 polyline {points}")
    draw.append("stroke none fill #1f5fbf text 700,20 'old song'")
    draw.append("fill #2a9d3a text 780,20 'new song'")
    draw.append("fill #d03030 text 860,20 'DJ voice'")
    font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    command = ["convert", "-size", f"{W}x{H}", "xc:white", "-fill", "black", "-pointsize", "12"]
    if os.path.exists(font):
        command += ["-font", font]
    done = subprocess.run(command + ["-draw", "\n".join(draw), png], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit("plot_levels: convert failed: " + done.stderr.strip()[:300])


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
