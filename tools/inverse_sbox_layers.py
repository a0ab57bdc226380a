#!/usr/bin/env python3
"""Derives the linear layers of the folded InvSubBytes circuit
(invSubBytesFolded in http_plugin/src/cipher/rijndael_bitsliced_circuit.h).

InvSubBytes(y) is inversion in GF(2^8) of A^-1(y + 0x63), A the linear part of
FIPS-197's affine map.  The SubBytes circuit there (Boyar and Peralta) is a
top linear layer, a non-linear middle (inversion) and a bottom linear layer
that applies A.  With the constant left to the caller, the inverse needs
the same middle between a top layer fed A^-1 of the input and a bottom layer
that yields inversion alone.  This script reads the circuit from the header,
composes those matrices, finds short XOR sequences for them with Paar's
greedy heuristic (C. Paar, "Optimized arithmetic for Reed-Solomon
encoders", 1997), best of many random tie-breaks, checks the whole circuit
against the inverse S-box for all 256 bytes, and prints the C++ lines.

Usage: tools/inverse_sbox_layers.py [tries]
"""
import random
import re
import sys
from pathlib import Path

HEADER = Path(__file__).resolve().parent.parent / "http_plugin/src/cipher/rijndael_bitsliced_circuit.h"


def function_body(src, name):
    start = src.index(f"void {name}(")
    return src[start:src.index("\n}\n", start)]


def gf_mul(a, b):
    p = 0
    for i in range(8):
        if b >> i & 1:
            p ^= a << i
    for i in range(14, 7, -1):
        if p >> i & 1:
            p ^= 0x11B << (i - 8)
    return p


def rotl(v, n):
    return (v << n | v >> (8 - n)) & 0xFF


def a_inverse(v):
    return rotl(v, 1) ^ rotl(v, 3) ^ rotl(v, 6)


def paar(targets, inputs, rnd):
    """XOR gates (new, a, b) computing each target mask over `inputs` signals."""
    sets = {k: {i for i in range(inputs) if v >> i & 1} for k, v in targets.items()}
    gates, count = [], inputs
    while True:
        pairs = {}
        for t in sets.values():
            items = sorted(t)
            for x in range(len(items)):
                for y in range(x + 1, len(items)):
                    pairs[items[x], items[y]] = pairs.get((items[x], items[y]), 0) + 1
        if not pairs:
            return gates, {k: next(iter(t)) for k, t in sets.items()}
        most = max(pairs.values())
        a, b = rnd.choice(sorted(p for p, c in pairs.items() if c == most))
        gates.append((count, a, b))
        for t in sets.values():
            if a in t and b in t:
                t -= {a, b}
                t.add(count)
        count += 1


def shortest(targets, inputs, tries):
    results = (paar(targets, inputs, random.Random(seed)) for seed in range(tries))
    return min(results, key=lambda r: len(r[0]))


def main():
    tries = int(sys.argv[1]) if len(sys.argv) > 1 else 3000
    src = HEADER.read_text()
    sub = function_body(src, "subBytes")
    middle = function_body(src, "inversionMiddle")
    gate = re.compile(r"(\w+) = (\w+) ([\^&]) (\w+)")

    # The top layer's signals as masks over the inputs u0..u7 (u0 the top bit).
    lin = {f"u{i}": 1 << i for i in range(8)}
    for n, a, _, b in gate.findall(sub):
        if n.startswith("t"):
            lin[n] = lin[a] ^ lin[b]
    signals = re.search(r"W (t1, .*?u7);", src, re.S).group(1).replace("\n", " ").split(", ")
    signals = [s.strip() for s in signals]

    # Plane i of A^-1(q) is q[i+2] + q[i+5] + q[i+7]; u_i is plane 7 - i.
    def over_planes(mask_u):
        m = 0
        for i in range(8):
            if mask_u >> i & 1:
                m ^= sum(1 << ((7 - i + k) % 8) for k in (2, 5, 7))
        return m

    top = {s: over_planes(lin[s]) for s in signals}

    # The bottom layer: each output plane over the products m46..m63.
    products = [f"m{i}" for i in range(46, 64)]
    blin = {m: 1 << k for k, m in enumerate(products)}
    for n, a, _, b in gate.findall(sub):
        if n.startswith("l"):
            blin[n] = blin[a] ^ blin[b]
    plane = {}
    for j, a, b in re.findall(r"q\[(\d)\] = ~?\(?(l\d+) \^ (l\d+)", sub):
        plane[int(j)] = blin[a] ^ blin[b]
    bottom = {i: plane[(i + 2) % 8] ^ plane[(i + 5) % 8] ^ plane[(i + 7) % 8] for i in range(8)}

    tg, tout = shortest(top, 8, tries)
    bg, bout = shortest(bottom, 18, tries)

    # The whole circuit against the inverse S-box.
    inverse = [0] * 256
    for x in range(1, 256):
        inverse[x] = next(y for y in range(1, 256) if gf_mul(x, y) == 1)
    mid_gates = gate.findall(middle)
    mid_out = dict((int(k), (a, b)) for k, a, b in re.findall(r"m\[(\d+)\] = (\w+) & (\w+)", middle))
    for z in range(256):
        v = [z >> i & 1 for i in range(8)]
        for _, a, b in tg:
            v.append(v[a] ^ v[b])
        env = {s: v[tout[s]] for s in signals}
        for n, a, op, b in mid_gates:
            env[n] = env[a] ^ env[b] if op == "^" else env[a] & env[b]
        p = [env[mid_out[k][0]] & env[mid_out[k][1]] for k in range(18)]
        for _, a, b in bg:
            p.append(p[a] ^ p[b])
        if sum(p[bout[i]] << i for i in range(8)) != inverse[a_inverse(z)]:
            sys.exit(f"the derived circuit is wrong at {z:#04x}")

    def top_name(i):
        return f"q[{i}]" if i < 8 else f"a{i - 8}"

    def bottom_name(i):
        return f"m[{i}]" if i < 18 else f"b{i - 18}"

    print(f"// top layer: {len(tg)} XORs, bottom layer: {len(bg)} XORs", file=sys.stderr)
    for n, a, b in tg:
        print(f"    const W {top_name(n)} = {top_name(a)} ^ {top_name(b)};")
    print("    W m[18];")
    print(f"    inversionMiddle<W>({{{', '.join(top_name(tout[s]) for s in signals)}}}, m);")
    for n, a, b in bg:
        print(f"    const W {bottom_name(n)} = {bottom_name(a)} ^ {bottom_name(b)};")
    for i in range(8):
        print(f"    q[{i}] = {bottom_name(bout[i])};")


if __name__ == "__main__":
    main()
