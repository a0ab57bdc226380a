#!/usr/bin/env python3
"""Prints the ratio table of one or more Google Benchmark JSON outputs.

Usage: ratios.py LABEL=results.json [LABEL=results.json ...] [--markdown]

Benchmarks are named "<case>/<contender>"; contenders whose names begin with
"ours" are our code: "ours" the plugin's class on the backend the processor
chooses, "ours-aes-ni" and "ours-tables" those backends run directly.  Each
run has a reference: "ours" in the run labelled "native" (peers on their AES
instructions), "ours-tables" in the run labelled "tables" (peers on their
table code, see tools/bench.sh), "ours-bitsliced" in the run labelled
"bitsliced" (the native run read again, against the constant-time peer
alone).  For every other contender the table gives
its median time and "ref x", the speed of the reference relative to it (its
time divided by the reference's: above 1, the reference is faster).
"""
import json
import re
import sys

REFERENCE = {"native": "ours", "tables": "ours-tables", "bitsliced": "ours-bitsliced"}
# The contenders a run compares with its reference, where not all of them.
PEERS = {"bitsliced": ["bearssl-ct64"]}

# (run, case pattern, contender, minimum "ref x", what the target says)
TARGETS = [
    ("native", r"^md5/", "openssl", 0.95, ">= 0.95x OpenSSL"),
    ("native", r"^md5/", "nettle", 1.0, "ahead of nettle"),
    ("native", r"^md5/", "glib", 1.0, "ahead of GLib"),
    ("native", r"^md5/", "libgcrypt", 1.0, "ahead of libgcrypt"),
    ("native", r"^aes128-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "openssl", 1.0,
     ">= 1.0x the faster peer"),
    ("native", r"^aes128-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "nettle", 1.0,
     ">= 1.0x the faster peer"),
    ("native", r"^aes128-cbc-encrypt/4096$", "openssl", 0.95, ">= 0.95x OpenSSL"),
    ("native", r"^aes128-one-block/", "nettle", 0.5, "<= 2x nettle's time"),
    ("native", r"^aes128-cfb1-encrypt/", "openssl", 1.5, ">= 1.5x OpenSSL"),
    ("native", r"^aes128-cfb1-decrypt/", "openssl", 5.0, ">= 5x OpenSSL"),
    ("native", r"^aes128-decrypt-key-setup/", "nettle", 1.0, "<= 1.0x nettle's time"),
    ("native", r"^auth/(10|20)$", "composition", 1 / 0.8, "<= 0.8x the composition's time"),
    ("native", r"^auth/524288$", "openssl-md5", 0.85, ">= 0.85x MD5()'s throughput"),
    ("native", r"^auth-decode/44$", "composition", 1 / 0.6, "<= 0.6x the composition's time"),
    ("native", r"^base64-decode/44$", "glib", 0.5, "table lookup needed if < 0.5x"),
    # The table backend keeps its figures from before the AES instructions.
    ("tables", r"^aes\d+-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "nettle", 1.0,
     ">= 1.0x nettle"),
    ("tables", r"^aes\d+-cbc-encrypt/4096$", "openssl", 1.0, ">= 1.0x OpenSSL"),
    ("tables", r"^aes128-cfb1-encrypt/", "openssl", 2.0, ">= 2x OpenSSL"),
    # The portable constant-time backend against BearSSL's.
    ("bitsliced", r"^aes\d+-(ecb-encrypt|cbc-decrypt)/4096$", "bearssl-ct64", 1.5,
     ">= 1.5x BearSSL aes_ct64"),
    ("bitsliced", r"^aes\d+-cbc-encrypt/4096$", "bearssl-ct64", 1.0, ">= 1.0x BearSSL aes_ct64"),
    ("bitsliced", r"^aes128-one-block/", "bearssl-ct64", 1.0, ">= 1.0x BearSSL aes_ct64"),
]
# (run, case pattern, limit on the reference's median time in ns, text)
LIMITS = [("tables", r"^aes128-one-block/", 45.0, "<= 45 ns per block")]


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
CONTENDER_ORDER = ["ours", "ours-vaes-256", "ours-aes-ni", "ours-bitsliced", "ours-tables",
                   "openssl", "nettle", "bearssl-ct64", "glib", "libgcrypt", "composition",
                   "composition-snprintf", "openssl-md5"]


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


def target_for(label, case, contender):
    for run, pattern, who, minimum, text in TARGETS:
        if run == label and re.search(pattern, case) and who == contender:
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
        reference = REFERENCE.get(label, "ours")
        context, runs = load(path)
        for case in sorted(runs, key=case_key):
            contenders = runs[case]
            ref = contenders.get(reference)
            if ref is None or not any(p in contenders for p in PEERS.get(label, contenders)):
                continue
            limit = next((l for l in LIMITS if l[0] == label and re.search(l[1], case)), None)
            verdict = ""
            if limit:
                ok = ref["ns"] <= limit[2]
                short += not ok
                verdict = ("ok" if ok else "SHORT") + " (" + limit[3] + ")"
            rows.append([label, case, reference, fmt_time(ref["ns"]),
                         "%.0f" % ref["mbs"] if ref["mbs"] else "", "", verdict])
            for who in sorted(contenders, key=contender_key):
                if who == reference or who not in PEERS.get(label, [who]):
                    continue
                peer = contenders[who]
                ratio = peer["ns"] / ref["ns"]
                minimum, text = target_for(label, case, who)
                verdict = ""
                if minimum is not None:
                    ok = ratio >= minimum * 0.999
                    short += not ok
                    verdict = ("ok" if ok else "SHORT") + " (" + text + ")"
                rows.append([label, case, who, fmt_time(peer["ns"]),
                             "%.0f" % peer["mbs"] if peer["mbs"] else "",
                             "%.2f" % ratio, verdict])
    header = ["run", "case", "contender", "median", "MB/s", "ref x", "target"]
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
