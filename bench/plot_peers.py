#!/usr/bin/env python3
"""Draws the CSV of bench/peers (json_peers) as an SVG: one panel per task,
one row per document kind and form, one column per size; each cell holds the
ratio ours / fastest peer (for minify: ours / simdjson's minify) and our MB/s,
green at 1.0 and above, red below.

Usage: plot_peers.py json_peers.csv docs/json_peers.svg [title]
       plot_peers.py json_peers.csv table.md   (the same cells as Markdown tables)
"""
import csv
import sys
from collections import OrderedDict
from xml.sax.saxutils import escape

PEERS = ("simdjson", "rapidjson", "cjson", "nlohmann")


def load(path):
    rows = list(csv.DictReader(open(path)))
    cells = {}
    kinds, sizes = OrderedDict(), OrderedDict()
    for r in rows:
        key = (r["kind"], r["form"], r["size"], r["task"])
        cells.setdefault(key, {})[r["library"]] = float(r["mbps"])
        kinds[(r["kind"], r["form"])] = 1
        sizes[r["size"]] = 1
    return cells, list(kinds), list(sizes)


def colour(ratio, goal):
    # Red through amber to green around the goal.
    t = max(0.0, min(1.0, ratio / goal))
    if t < 1.0:
        return "#%02x%02x%02x" % (230, int(80 + 140 * t), 80)
    return "#5cb85c"


PANELS = [("validate", "validate / fastest validating parse", 1.0, None),
          ("get", "get of last root member / fastest lookup", 1.0, None),
          ("stringify", "stringify / fastest parse+serialise", 1.5, None),
          ("stringify", "stringify / simdjson minify", 0.3, "sj-min")]


def ratio_of(cells, key, against):
    """(ours / the panel's baseline, our MB/s), or None where a cell is missing."""
    c = cells.get(key)
    if not c or "zel" not in c:
        return None
    base = c.get(against, 0) if against else max([c[l] for l in PEERS if l in c] or [0])
    return (c["zel"] / base, c["zel"]) if base > 0 else None


def markdown(cells, kinds, sizes):
    out = []
    for task, label, goal, against in PANELS:
        out.append("**%s** (goal %.1fx): ratio (our MB/s)\n" % (label, goal))
        out.append("| document | " + " | ".join(sizes) + " |")
        out.append("|---|" + "---|" * len(sizes))
        for kind, form in kinds:
            row = []
            for size in sizes:
                r = ratio_of(cells, (kind, form, size, task), against)
                row.append("%.2fx (%d)" % r if r else "")
            out.append("| %s %s | %s |" % (kind, form, " | ".join(row)))
        out.append("")
    return "\n".join(out)


def main():
    src, dst = sys.argv[1], sys.argv[2]
    title = sys.argv[3] if len(sys.argv) > 3 else "JSON host functions against peer libraries"
    cells, kinds, sizes = load(src)
    if dst.endswith(".md"):
        open(dst, "w").write(markdown(cells, kinds, sizes))
        return
    panels = PANELS
    cw, ch, lw, top, gap = 92, 30, 150, 70, 40
    pw = lw + cw * len(sizes)
    ph = 40 + ch * len(kinds) + gap
    width = 20 + 2 * (pw + gap)
    height = top + 2 * ph
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" font-size="12">'
           % (width, height),
           '<rect width="100%" height="100%" fill="white"/>',
           '<text x="20" y="28" font-size="17" font-weight="bold">%s</text>' % escape(title),
           '<text x="20" y="48" fill="#555">cell: ratio (our MB/s); goal in the panel title; green = goal met</text>']
    for p, (task, label, goal, against) in enumerate(panels):
        x0 = 20 + (p % 2) * (pw + gap)
        y0 = top + (p // 2) * ph
        out.append('<text x="%d" y="%d" font-weight="bold">%s (goal %.1fx)</text>' % (x0, y0, escape(label), goal))
        for j, size in enumerate(sizes):
            out.append('<text x="%d" y="%d" text-anchor="middle">%s</text>'
                       % (x0 + lw + j * cw + cw // 2, y0 + 22, size))
        for i, (kind, form) in enumerate(kinds):
            y = y0 + 30 + i * ch
            out.append('<text x="%d" y="%d">%s %s</text>' % (x0, y + 19, kind, form))
            for j, size in enumerate(sizes):
                r = ratio_of(cells, (kind, form, size, task), against)
                if not r:
                    continue
                ratio, mbps = r
                x = x0 + lw + j * cw
                out.append('<rect x="%d" y="%d" width="%d" height="%d" fill="%s" stroke="white"/>'
                           % (x, y, cw, ch, colour(ratio, goal)))
                out.append('<text x="%d" y="%d" text-anchor="middle">%.2fx (%d)</text>'
                           % (x + cw // 2, y + 19, ratio, mbps))
    out.append("</svg>")
    open(dst, "w").write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
