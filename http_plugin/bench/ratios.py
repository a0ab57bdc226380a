#!/usr/bin/env python3
"""Prints the ratio table of one or more Google Benchmark JSON outputs.

Usage: ratios.py LABEL=results.json [LABEL=results.json ...] [--markdown]
       ratios.py --matrix RUN@BUILD=results.json ... [--markdown]

Benchmarks are named "<case>/<contender>"; contenders whose names begin with
"ours" are our code: "ours" the plugin's class on the backend the processor
chooses, "ours-aes-ni", "ours-ssse3", "ours-bitsliced" and "ours-tables"
those backends run directly.  Each run has a reference: "ours" in the run
labelled "native" (peers on their AES instructions), "ours-tables" in the run
labelled "tables" (peers on their table code), "ours-ssse3" in the run
labelled "ssse3" (OpenSSL on its SSSE3 code; see tools/bench.sh),
"ours-bitsliced" in the run labelled "bitsliced" (the native run read again,
against the constant-time peer alone).  For every other contender the table gives
its median time and "ref x", the speed of the reference relative to it (its
time divided by the reference's: above 1, the reference is faster).
"""
import json
import re
import sys

REFERENCE = {"native": "ours", "tables": "ours-tables", "ssse3": "ours-ssse3",
             "bitsliced": "ours-bitsliced"}
# The contenders a run compares with its reference, where not all of them.
PEERS = {"bitsliced": ["bearssl-ct64"]}

# (run, case pattern, contender, minimum "ref x", what the target says)
TARGETS = [
    ("native", r"^md5/", "openssl", 0.95, ">= 0.95x OpenSSL"),
    ("native", r"^md5/", "nettle", 1.0, "ahead of nettle"),
    ("native", r"^md5/", "glib", 1.0, "ahead of GLib"),
    ("native", r"^md5/", "libgcrypt", 1.0, "ahead of libgcrypt"),
    ("native", r"^aes128-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "openssl", 3.0,
     ">= 3.0x the faster peer"),
    ("native", r"^aes128-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "nettle", 3.0,
     ">= 3.0x the faster peer"),
    ("native", r"^aes128-cbc-encrypt/4096$", "openssl", 1.0, ">= 1.0x OpenSSL"),
    ("native", r"^aes128-one-block/", "nettle", 1 / 1.5, "<= 1.5x nettle's time"),
    ("native", r"^aes128-cfb1-encrypt/", "openssl", 1.5, ">= 1.5x OpenSSL"),
    ("native", r"^aes128-cfb1-decrypt/", "openssl", 8.0, ">= 8x OpenSSL"),
    ("native", r"^aes128-decrypt-key-setup/", "nettle", 1.0, "<= 1.0x nettle's time"),
    ("native", r"^auth/(10|20)$", "composition", 1 / 0.7, "<= 0.7x the composition's time"),
    ("native", r"^auth/524288$", "openssl-md5", 0.95, ">= 0.95x MD5()'s throughput"),
    ("native", r"^auth-decode/44$", "composition", 1 / 0.5, "<= 0.5x the composition's time"),
    ("native", r"^base64-decode/44$", "glib", 0.5, "table lookup needed if < 0.5x"),
    # The table backend keeps its figures from before the AES instructions.
    ("tables", r"^aes\d+-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "nettle", 1.0,
     ">= 1.0x nettle"),
    ("tables", r"^aes\d+-cbc-encrypt/4096$", "openssl", 1.0, ">= 1.0x OpenSSL"),
    ("tables", r"^aes128-cfb1-encrypt/", "openssl", 2.0, ">= 2x OpenSSL"),
    # Constant time without the AES instructions, against OpenSSL's own.
    ("ssse3", r"^aes\d+-(ecb-encrypt|ecb-decrypt|cbc-decrypt)/4096$", "openssl", 1.0,
     ">= 1.0x OpenSSL"),
    ("ssse3", r"^aes\d+-cbc-encrypt/4096$", "openssl", 0.9, ">= 0.9x OpenSSL"),
    ("ssse3", r"^aes128-ecb-encrypt/16$", "openssl", 0.9, ">= 0.9x OpenSSL"),
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
    spreads = {}
    for b in data["benchmarks"]:
        name = b.get("run_name", b["name"])
        case, _, contender = name.rpartition("/")
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") == "cv":
            spreads[(case, contender)] = b["cpu_time"]
            continue
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        unit = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        runs.setdefault(case, {})[contender] = {
            "ns": b["cpu_time"] * unit,
            "mbs": b.get("bytes_per_second", 0) / 1e6,
        }
    for (case, contender), cv in spreads.items():
        if contender in runs.get(case, {}):
            runs[case][contender]["cv"] = cv
    return data.get("context", {}), runs


# The order of the table; Google Benchmark's own order is random when the
# repetitions are interleaved.
CASE_ORDER = [r"^md5/", r"^aes128-(ecb|cbc)", r"^aes192-", r"^aes256-", r"-cfb1-",
              r"-one-block/", r"-key-setup/", r"^base64-", r"^auth/", r"^auth-decode/",
              r"^auth-decode-init/"]
CONTENDER_ORDER = ["ours", "ours-vaes-256", "ours-aes-ni", "ours-ssse3", "ours-bitsliced",
                   "ours-tables", "openssl", "nettle", "bearssl-ct64", "glib", "libgcrypt",
                   "composition", "composition-snprintf", "openssl-md5"]


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


def matrix(inputs, markdown):
    """One row per target, one column per build: the ratio, and the spread
    (cv) of ours and of the peer, then the worst build.  Inputs are labelled
    RUN@BUILD.  Below, each of our contenders' median time per build, and
    the slowest build against the fastest: the code should not care which
    optimisation level the packager chose."""
    builds, results = [], {}
    for item in inputs:
        label, _, path = item.partition("=")
        run, _, build = label.partition("@")
        if build not in builds:
            builds.append(build)
        results[(run, build)] = load(path)[1]
    rows, short = [], 0
    seen = []
    for run, pattern, who, minimum, text in TARGETS:
        cases = sorted({c for (r, b), res in results.items() if r == run for c in res
                        if re.search(pattern, c)}, key=case_key)
        for case in cases:
            if (run, case, who) in seen:
                continue
            seen.append((run, case, who))
            reference = REFERENCE.get(run, "ours")
            cells, worst = [], None
            for build in builds:
                res = results.get((run, build), {}).get(case, {})
                if reference not in res or who not in res:
                    cells.append("-")
                    continue
                ratio = res[who]["ns"] / res[reference]["ns"]
                spread = max(res[reference].get("cv", 0), res[who].get("cv", 0))
                cells.append("%.2f (%.0f%%)" % (ratio, 100 * spread))
                worst = ratio if worst is None else min(worst, ratio)
            if worst is None:
                continue
            ok = worst >= minimum * 0.999
            short += not ok
            rows.append([run, case, who] + cells +
                        ["%.2f" % worst, ("ok" if ok else "SHORT") + " (" + text + ")"])
    header = ["run", "case", "peer"] + builds + ["worst", "target"]
    print_table(header, rows, markdown)

    rows = []
    for (run, build0) in [k for k in results if k[1] == builds[0]]:
        for case in sorted(results[(run, build0)], key=case_key):
            for who in sorted(results[(run, build0)][case], key=contender_key):
                if not who.startswith("ours") or (run == "tables" and who != "ours-tables"):
                    continue
                times = [results.get((run, b), {}).get(case, {}).get(who, {}).get("ns")
                         for b in builds]
                if None in times:
                    continue
                rows.append([run, case, who] + [fmt_time(t) for t in times] +
                            ["%.2f" % (max(times) / min(times))])
    print()
    print_table(["run", "case", "ours"] + builds + ["slowest/fastest"], rows, markdown)
    for (run, build), res in results.items():
        if run != "native":
            continue
        for line in cycles_per_byte(res):
            print("%s, %s" % (build, line))
    print("\n%s" % ("every target met in every build" if short == 0
                    else "%d target(s) short in the worst build" % short))


def cycles_per_byte(runs):
    """1 MiB of ECB in cycles per byte, on the clock that the chain of 1000
    dependent additions measured; None without both."""
    clock = runs.get("clock/1000", {}).get("add-chain")
    lines = []
    for case in ("aes128-ecb-encrypt/1048576", "aes128-ecb-decrypt/1048576"):
        ours = runs.get(case, {}).get("ours")
        if clock and ours:
            cycle = clock["ns"] / 1000
            lines.append("%s: %.3f cycles per byte (clock %.2f GHz)"
                         % (case, ours["ns"] / cycle / 1048576, 1 / cycle))
    return lines


def print_table(header, rows, markdown):
    if markdown:
        print("| " + " | ".join(header) + " |")
        print("|" + "---|" * len(header))
        for r in rows:
            print("| " + " | ".join(r) + " |")
        return
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda r: "  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip()
    print(line(header))
    print(line(["-" * w for w in widths]))
    for r in rows:
        print(line(r))


def main(argv):
    markdown = "--markdown" in argv
    inputs = [a for a in argv if a not in ("--markdown", "--matrix")]
    if "--matrix" in argv and inputs:
        matrix(inputs, markdown)
        return 0
    if not inputs:
        print(__doc__, file=sys.stderr)
        return 2
    rows = []
    short = 0
    cycle_lines = []
    for item in inputs:
        label, _, path = item.partition("=")
        reference = REFERENCE.get(label, "ours")
        context, runs = load(path)
        if label == "native":
            cycle_lines = cycles_per_byte(runs)
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
    for line in cycle_lines:
        print(line)
    print("\n%s" % ("every target met" if short == 0 else "%d target(s) short" % short))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
