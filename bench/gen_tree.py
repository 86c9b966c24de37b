#!/usr/bin/env python3
"""Generates a seeded, source-like folder tree for the Find benchmark.

The same seed and options give byte-identical trees. Besides the files, the tree's root holds
manifest.json (which no benchmark filter matches) with the planted occurrences per variant, so
the benchmark can check that a run really replaced what it should.
"""

import argparse
import json
import math
import os
import random
import shutil
import sys

MATCHING_EXTS = [(".c", 30), (".h", 20), (".cpp", 20), (".txt", 10)]
OTHER_EXTS = [(".md", 4), (".py", 4), (".json", 3), (".o", 3), (".cc", 2), (".hpp", 2),
              (".cppx", 1), ("", 1)]
MAX_DEPTH = 5
MAX_FILE = 4 * 1000 * 1000
BINARY_SHARE = 0.01
CRLF_SHARE = 0.3

WORDS = ("buffer count index value length offset node list table entry state flags error "
         "result handle stream block cursor parse scan match token name path file size data "
         "next prev head tail left right key hash item mode level limit total width height "
         "queue stack frame page cache lock owner child parent root start end first last").split()
TYPES = "int char long size_t void bool double float unsigned uint32_t int64_t".split()
PROSE = ("the a of to and in is that for it as with was on be by this are from at or an "
         "which have not but all were when there can more one has been would their if will "
         "into each about up out them then so these some time two may other like file folder "
         "text run report change backup copy search replace option case word line").split()


def ident(rng):
    n = rng.choice((1, 1, 2, 2, 3))
    parts = [rng.choice(WORDS) for _ in range(n)]
    style = rng.random()
    if style < 0.5:
        return "_".join(parts)
    if style < 0.8:
        return parts[0] + "".join(p.capitalize() for p in parts[1:])
    return "_".join(parts).upper()


def code_line(rng, indent):
    pad = "    " * indent
    r = rng.random()
    if r < 0.12:
        return ""
    if r < 0.25:
        return pad + "// " + " ".join(rng.choice(PROSE) for _ in range(rng.randint(3, 10)))
    if r < 0.45:
        return f"{pad}{rng.choice(TYPES)} {ident(rng)} = {ident(rng)}({ident(rng)}, {rng.randint(0, 999)});"
    if r < 0.6:
        return f"{pad}if ({ident(rng)} {rng.choice(('<', '>', '==', '!='))} {ident(rng)}) {{"
    if r < 0.7:
        return pad + "}"
    if r < 0.8:
        return f"{pad}{ident(rng)}->{ident(rng)} += {ident(rng)}[{rng.randint(0, 64)}];"
    if r < 0.88:
        return f"{pad}return {ident(rng)};"
    if r < 0.94:
        return f'#include "{ident(rng).lower()}.h"'
    return f'{pad}printf("%d {rng.choice(PROSE)}\\n", {ident(rng)});'


def prose_line(rng):
    if rng.random() < 0.1:
        return ""
    words = [rng.choice(PROSE) for _ in range(rng.randint(4, 16))]
    words[0] = words[0].capitalize()
    return " ".join(words) + "."


def corpus(rng, size, kind):
    """About `size` bytes of LF-ended lines, doubled so that any slice up to `size` wraps."""
    lines, total = [], 0
    while total < size:
        line = code_line(rng, rng.randint(0, 3)) if kind == "code" else prose_line(rng)
        lines.append(line)
        total += len(line) + 1
    text = ("\n".join(lines) + "\n").encode("ascii")
    return text, text + text


def sizes(rng, count, total):
    """Log-normal sizes, capped, scaled so that they add up to about `total` bytes."""
    raw = [rng.lognormvariate(0.0, 2.0) for _ in range(count)]
    lo, hi = 0.0, float(total)
    for _ in range(60):
        mid = (lo + hi) / 2
        if sum(min(mid * z, MAX_FILE) for z in raw) < total:
            lo = mid
        else:
            hi = mid
    return [int(min(lo * z, MAX_FILE)) for z in raw]


def folders(rng, count):
    """Relative folder paths, the root ("") first; no folder deeper than MAX_DEPTH."""
    result = [("", 0)]
    used = set()
    while len(result) < count:
        parent, depth = rng.choice(result)
        if depth >= MAX_DEPTH:
            continue
        name = rng.choice(("src", "lib", "include", "util", "core", "net", "io", "test", "docs",
                           "impl", "ext", "gen")) + str(rng.randint(0, 99))
        path = os.path.join(parent, name)
        if path in used:
            continue
        used.add(path)
        result.append((path, depth + 1))
    return [p for p, _ in result]


def weighted(rng, table):
    return rng.choices([e for e, _ in table], weights=[w for _, w in table])[0]


# What a Find run with the token should count, by variant; see plant().
VARIANTS = [
    ("exact", 60, lambda t: t),
    ("upper", 8, lambda t: t.upper()),
    ("title", 6, lambda t: "_".join(p.capitalize() for p in t.split("_"))),
    ("mixed", 6, lambda t: "".join(c.upper() if i % 2 else c for i, c in enumerate(t))),
    ("prefixed", 7, lambda t: "my_" + t),
    ("suffixed", 7, lambda t: t + "s"),
    ("glued", 6, lambda t: "x" + t + "9"),
]


def plant(rng, data, token, count, tally):
    """Inserts `count` token variants at line starts; returns the new content."""
    if not data:
        return data
    cuts = sorted(rng.randrange(len(data)) for _ in range(count))
    out, last = [], 0
    for cut in cuts:
        # At a line start, so that a planted word never glues onto the text before it.
        nl = data.find(b"\n", cut)
        at = nl + 1 if nl >= 0 else data.rfind(b"\n", 0, cut) + 1
        at = max(at, last)
        name, _, make = rng.choices(VARIANTS, weights=[w for _, w, _ in VARIANTS])[0]
        tally[name] += 1
        out.append(data[last:at])
        out.append(make(token).encode("ascii") + rng.choice((b"(x);", b" = 1;", b" ", b".")))
        last = at
    out.append(data[last:])
    return b"".join(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--files", type=int, default=3000)
    ap.add_argument("--size-mb", type=float, default=150.0, help="total size, 10^6 bytes")
    ap.add_argument("--token", default="scrivox_token")
    ap.add_argument("--token-files", type=int, default=400,
                    help="files of the benchmark filter that get the token")
    ap.add_argument("--per-mb", type=float, default=200.0,
                    help="planted occurrences per 10^6 bytes of such a file, at least 1")
    ap.add_argument("--out", required=True)
    args = ap.parse_args()

    if not args.token or not all(c.isalnum() or c == "_" for c in args.token):
        sys.exit("the token must be a non-empty identifier")
    rng = random.Random(args.seed)
    code, code2 = corpus(rng, MAX_FILE, "code")
    prose, prose2 = corpus(rng, 1000 * 1000, "prose")

    dirs = folders(rng, max(1, args.files // 20))
    files = []
    names = set()
    for size in sizes(rng, args.files, int(args.size_mb * 1e6)):
        ext = weighted(rng, MATCHING_EXTS if rng.random() < 0.8 else OTHER_EXTS)
        if ext == ".txt" and rng.random() < 0.1:
            ext = ".TXT"  # filters match without regard to case
        while True:
            path = os.path.join(rng.choice(dirs), ident(rng).lower() + ext)
            if path not in names:
                break
        names.add(path)
        files.append({"path": path, "size": size, "ext": ext,
                      "binary": rng.random() < BINARY_SHARE,
                      "crlf": rng.random() < CRLF_SHARE})

    matching = {e for e, _ in MATCHING_EXTS} | {".TXT"}
    text = [f for f in files if not f["binary"] and f["size"] >= 64]
    hosts = [f for f in text if f["ext"] in matching]
    decoys = [f for f in text if f["ext"] not in matching]
    rng.shuffle(hosts)
    rng.shuffle(decoys)
    for f in hosts[:args.token_files]:
        f["plant"] = "counted"
    for f in decoys[:max(1, args.token_files // 20)]:
        f["plant"] = "filtered out"

    if os.path.exists(args.out):
        shutil.rmtree(args.out)
    tally = {"counted": {n: 0 for n, _, _ in VARIANTS},
             "filtered out": {n: 0 for n, _, _ in VARIANTS}}
    total = 0
    for f in files:
        size = f["size"]
        if f["binary"]:
            data = rng.randbytes(size)
        else:
            src, src2 = (prose, prose2) if f["ext"].lower() in (".txt", ".md") else (code, code2)
            off = rng.randrange(len(src))
            data = src2[off:off + size]
            if "plant" in f:
                count = max(1, round(size * args.per_mb / 1e6))
                data = plant(rng, data, args.token, count, tally[f["plant"]])
            if f["crlf"]:
                data = data.replace(b"\n", b"\r\n")
        full = os.path.join(args.out, f["path"])
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as fh:
            fh.write(data)
        total += len(data)

    manifest = {
        "seed": args.seed, "files": len(files), "folders": len(dirs), "bytes": total,
        "token": args.token, "token_files": min(args.token_files, len(hosts)),
        "variants": {n: make(args.token) for n, _, make in VARIANTS},
        "planted": tally,
    }
    with open(os.path.join(args.out, "manifest.json"), "w") as fh:
        json.dump(manifest, fh, indent=2)
    print(f"{args.out}: {len(files)} files in {len(dirs)} folders, {total / 1e6:.1f} MB, "
          f"{sum(tally['counted'].values())} planted occurrences in "
          f"{manifest['token_files']} files")


if __name__ == "__main__":
    main()
