#!/usr/bin/env python3
"""Prints the ratio table of one or more Google Benchmark JSON outputs.

Usage: ratios.py LABEL=results.json [LABEL=results.json ...] [--markdown]

Benchmarks are named "<case>/<contender>"; the contender "ours" is our code.
For every other contender the table gives its median time and "ours x", the
speed of ours relative to it (its time divided by ours: above 1, ours is
faster).  The targets below apply to the run labelled "tables", in which the
peers use their table code (see tools/bench.sh).
"""
import json
import re
import sys

# (case pattern, contender, minimum "ours x", what the target says)
TARGETS = [
    (r"md5/", "openssl", 0.95, ">= 0.95x OpenSSL"),
    (r"md5/", "nettle", 1.0, "ahead of nettle"),
    (r"md5/", "glib", 1.0, "ahead of GLib"),
    (r"md5/", "libgcrypt", 1.0, "ahead of libgcrypt"),
    (r"auth/", "composition", 1 / 1.2, "<= 1.2x the composition's time"),
    (r"aes\d+-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/", "nettle", 1.0, ">= 1.0x nettle"),
    (r"aes\d+-cbc-encrypt/", "openssl", 1.0, ">= 1.0x OpenSSL"),
    (r"aes128-cfb1-encrypt/", "openssl", 2.0, ">= 2x OpenSSL"),
    (r"base64-decode/44$", "glib", 0.5, "table lookup needed if < 0.5x"),
    (r"auth-decode/44", "composition", 1.0, "<= 1.0x the composition's time"),
]
# Absolute limits on our median time, in ns.
LIMITS = [(r"aes128-one-block/", 45.0, "<= 45 ns per block")]


def load(path):
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        name = b.get("run_name", b["name"])
        case, _, contender = name.rpartition("/")
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        runs.setdefault(case, {})[contender] = {
            "ns": b["cpu_time"] * unit,
            "mbs": b.get("bytes_per_second", 0) / 1e6,
        }
    return data.get("context", {}), runs


# The order of the table; Google Benchmark's own order is random when the
# repetitions are interleaved.
CASE_ORDER = [r"^md5/", r"^aes128-(ecb|cbc)", r"^aes192-", r"^aes256-", r"-cfb1-",
              r"-one-block/", r"-key-setup/", r"^base64-", r"^auth/", r"^auth-decode/",
              r"^auth-decode-init/"]
CONTENDER_ORDER = ["ours", "openssl", "nettle", "glib", "libgcrypt", "composition",
                   "composition-snprintf"]


def case_key(case):
    family = next((i for i, p in enumerate(CASE_ORDER) if re.search(p, case)), len(CASE_ORDER))
    name, _, size = case.rpartition("/")
    return (family, name, int(size) if size.isdigit() else 0)


def contender_key(who):
    return CONTENDER_ORDER.index(who) if who in CONTENDER_ORDER else len(CONTENDER_ORDER)


def fmt_time(ns):
    if ns >= 1e6:
        return "%.2f ms" % (ns / 1e6)
    if ns >= 1e3:
        return "%.2f us" % (ns / 1e3)
    return "%.1f ns" % ns


def target_for(case, contender):
    for pattern, who, minimum, text in TARGETS:
        if re.search(pattern, case) and who == contender:
            return minimum, text
    return None, ""


def main(argv):
    markdown = "--markdown" in argv
    inputs = [a for a in argv if a != "--markdown"]
    if not inputs:
        print(__doc__, file=sys.stderr)
        return 2
    rows = []
    short = 0
    for item in inputs:
        label, _, path = item.partition("=")
        context, runs = load(path)
        for case in sorted(runs, key=case_key):
            contenders = runs[case]
            ours = contenders.get("ours")
            if ours is None:
                continue
            limit = next((l for l in LIMITS if re.search(l[0], case)), None)
            verdict = ""
            if limit and label == "tables":
                ok = ours["ns"] <= limit[1]
                short += not ok
                verdict = ("ok" if ok else "SHORT") + " (" + limit[2] + ")"
            rows.append([label, case, "ours", fmt_time(ours["ns"]),
                         "%.0f" % ours["mbs"] if ours["mbs"] else "", "", verdict])
            for who in sorted(contenders, key=contender_key):
                if who == "ours":
                    continue
                peer = contenders[who]
                ratio = peer["ns"] / ours["ns"]
                minimum, text = target_for(case, who)
                verdict = ""
                if minimum is not None and label == "tables":
                    ok = ratio >= minimum * 0.999
                    short += not ok
                    verdict = ("ok" if ok else "SHORT") + " (" + text + ")"
                rows.append([label, case, who, fmt_time(peer["ns"]),
                             "%.0f" % peer["mbs"] if peer["mbs"] else "",
                             "%.2f" % ratio, verdict])
    header = ["run", "case", "contender", "median", "MB/s", "ours x", "target"]
    if markdown:
        print("| " + " | ".join(header) + " |")
        print("|" + "---|" * len(header))
        for r in rows:
            print("| " + " | ".join(r) + " |")
    else:
        widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
        line = lambda r: "  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
        print(line(header))
        print(line(["-" * w for w in widths]))
        previous = None
        for r in rows:
            if previous and (r[0], r[1]) != previous:
                print()
            previous = (r[0], r[1])
            print(line(r))
    print("\n%s" % ("every target met" if short == 0 else "%d target(s) short" % short))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
