#!/usr/bin/python3
"""Deterministic benchmark payloads, zipped straight from memory.

  gen_payload.py mixed OUT.zip [--scale S]   about 150 MB (S=1): a few large files and
                                             a few thousand small ones in nested folders
  gen_payload.py tiny OUT.zip                20 000 tiny files in nested folders

Beside OUT.zip it writes OUT.tsv (one line per file: name, size, CRC-32) so that a
tool's output can be checked. The files' bytes depend only on the kind, the scale and
the seed below. The archive's bytes also depend on the zlib at hand (deflate output is
not fixed across zlib versions); its SHA-256 is printed.

Content kinds, chosen to compress the way a product's files do:
  text    words with a skewed frequency in lines (sources, docs, XML): deflates to ~30 %
  binary  skewed opcodes, zero padding, string tables, repeated blocks: ~45-55 %
  random  incompressible (media, already-compressed data): kept stored, as zip tools do
"""
import argparse
import hashlib
import math
import os
import random
import sys
import zipfile
import zlib

SEED = 20240101
DATE = (2024, 1, 1, 12, 0, 0)


class Content:
    """Generators of the three kinds, all driven by one seeded generator."""

    def __init__(self, rng: random.Random):
        self.rng = rng
        letters = "etaoinshrdlucmfwypvbgkqjxz"
        lw = [1.0 / (i + 1.5) for i in range(len(letters))]
        words = set()
        while len(words) < 6000:
            n = max(1, int(rng.lognormvariate(1.6, 0.45)))
            words.add("".join(rng.choices(letters, weights=lw, k=n)))
        self.words = sorted(words)
        rng.shuffle(self.words)
        # Zipf-like frequencies, as in natural and program text.
        self.word_cum = list(_cumulate(1.0 / (i + 1) ** 1.05 for i in range(len(self.words))))
        self.punct = [" ", " ", " ", " ", " ", " ", ", ", ". ", "(", ") ", " = ", "; ", "_", "\n"]
        # A byte map that turns uniform random bytes into the skewed distribution of
        # machine code: a few values very common, most rare.
        weights = [1.0 / (i + 1) ** 1.6 for i in range(256)]
        order = list(range(256))
        rng.shuffle(order)
        order.remove(0)
        order.insert(0, 0)
        total = sum(weights)
        table = bytearray()
        acc = 0.0
        for value, w in zip(order, weights):
            acc += w * 256 / total
            while len(table) < min(256, round(acc)):
                table.append(value)
        while len(table) < 256:
            table.append(order[-1])
        self.opcode_map = bytes(table)

    def text(self, size: int) -> bytes:
        rng = self.rng
        out = []
        n = 0
        while n < size:
            k = 2000
            ws = rng.choices(self.words, cum_weights=self.word_cum, k=k)
            ps = rng.choices(self.punct, k=k)
            chunk = "".join(w + p for w, p in zip(ws, ps)).encode()
            out.append(chunk)
            n += len(chunk)
        return b"".join(out)[:size]

    def binary(self, size: int) -> bytes:
        rng = self.rng
        out = bytearray()
        while len(out) < size:
            r = rng.random()
            if r < 0.45:  # code
                out += rng.randbytes(rng.randint(256, 8192)).translate(self.opcode_map)
            elif r < 0.60:  # padding and zero-initialised data
                out += bytes(rng.choice((16, 64, 512, 4096)))
            elif r < 0.70:  # string tables and resources
                out += self.text(rng.randint(128, 4096)).replace(b" ", b"\0")
            elif r < 0.97 and len(out) > 65536:  # repeated structures, slightly changed
                n = rng.randint(64, 4096)
                start = rng.randrange(len(out) - n)
                block = bytearray(out[start:start + n])
                for _ in range(n // 64):
                    block[rng.randrange(n)] = rng.randrange(256)
                out += block
            else:  # tables of pointers, hashes, compressed resources
                out += rng.randbytes(rng.randint(64, 2048))
        return bytes(out[:size])

    def random(self, size: int) -> bytes:
        return self.rng.randbytes(size)

    def make(self, kind: str, size: int) -> bytes:
        return getattr(self, kind)(size)


def _cumulate(values):
    acc = 0.0
    for v in values:
        acc += v
        yield acc


def make_tree(rng: random.Random, ndirs: int, max_depth: int, roots):
    """A folder tree of ndirs folders under the given roots, at most max_depth deep."""
    dirs = list(roots)
    stems = ["core", "lib", "res", "img", "icons", "lang", "plugins", "data", "maps", "ui",
             "themes", "fonts", "shaders", "scripts", "config", "sounds", "help", "x64", "x86",
             "common", "tools", "models", "cache", "templates"]
    while len(dirs) < ndirs:
        parent = rng.choice(dirs)
        if parent.count("/") + 1 >= max_depth:
            continue
        name = f"{parent}/{rng.choice(stems)}{rng.randint(0, 99):02d}"
        if name not in dirs:
            dirs.append(name)
    return dirs


def small_sizes(rng, count, total, median, cap):
    """count sizes with a log-normal shape, scaled so that they add up to about total."""
    raw = [min(cap, rng.lognormvariate(math.log(median), 1.2)) for _ in range(count)]
    factor = total / sum(raw)
    return [max(0, min(cap, int(s * factor))) for s in raw]


EXT = {"text": [".txt", ".xml", ".json", ".ini", ".lua", ".html", ".css", ".js"],
       "binary": [".dll", ".bin", ".dat", ".mui", ".sys", ".ocx"],
       "random": [".png", ".jpg", ".ogg", ".cab", ".woff2"]}


def plan_mixed(rng, scale):
    mb = 1 << 20
    big = [("bin/product.exe", "binary", 32), ("bin/engine.dll", "binary", 18),
           ("data/assets.pak", "random", 30), ("data/intro.mp4", "random", 12),
           ("doc/manual.txt", "text", 10), ("data/catalog.xml", "text", 8)]
    files = [(name, kind, int(size * mb * scale)) for name, kind, size in big]
    dirs = make_tree(rng, 160, 5, ["bin", "data", "doc", "res", "lang", "plugins"])
    count = max(10, int(3000 * scale))
    sizes = small_sizes(rng, count, 40 * mb * scale, 5000, 512 * 1024)
    files += plan_small(rng, dirs, sizes, (0.45, 0.30, 0.25))
    return dirs, files


def plan_tiny(rng, scale):
    dirs = make_tree(rng, 400, 6, ["app", "locale", "assets", "docs"])
    count = int(20000 * scale)
    sizes = small_sizes(rng, count, 500 * count, 300, 4096)
    return dirs, plan_small(rng, dirs, sizes, (0.70, 0.20, 0.10))


def plan_small(rng, dirs, sizes, mix):
    files = []
    names = set()
    for i, size in enumerate(sizes):
        kind = rng.choices(["text", "binary", "random"], weights=mix)[0]
        while True:
            name = f"{rng.choice(dirs)}/f{rng.randrange(100000):05d}{rng.choice(EXT[kind])}"
            if name not in names:
                break
        names.add(name)
        files.append((name, kind, size if i % 97 else 0))  # a few empty files
    return files


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("kind", choices=["mixed", "tiny"])
    ap.add_argument("out")
    ap.add_argument("--scale", type=float, default=1.0)
    args = ap.parse_args()

    rng = random.Random(f"{SEED}/{args.kind}/{args.scale}")
    content = Content(rng)
    dirs, files = (plan_mixed if args.kind == "mixed" else plan_tiny)(rng, args.scale)

    # Folders first, then files, each folder's entry before its contents, as zip tools
    # write them; the files in a stable shuffled order, so that extraction is not one
    # folder at a time.
    all_dirs = set()
    for path in list(dirs) + [f[0] for f in files]:
        parts = path.split("/")
        for i in range(1, len(parts) + (path in dirs)):
            all_dirs.add("/".join(parts[:i]))
    rng.shuffle(files)

    total = 0
    stored = 0
    with open(args.out + ".tsv", "w") as tsv, \
            zipfile.ZipFile(args.out, "w", allowZip64=True) as zf:
        for d in sorted(all_dirs):
            zi = zipfile.ZipInfo(d + "/", DATE)
            zi.create_system = 3
            zi.external_attr = (0o40755 << 16) | 0x10
            zf.writestr(zi, b"")
        for name, kind, size in files:
            data = content.make(kind, size)
            zi = zipfile.ZipInfo(name, DATE)
            zi.create_system = 3
            zi.external_attr = 0o100644 << 16
            # Deflate unless that makes it no smaller, as zip tools decide.
            if kind == "random" or len(zlib.compress(data[:65536], 1)) >= min(len(data), 65536):
                zi.compress_type = zipfile.ZIP_STORED
                stored += size
            else:
                zi.compress_type = zipfile.ZIP_DEFLATED
            zf.writestr(zi, data, compresslevel=6)
            tsv.write(f"{name}\t{size}\t{zlib.crc32(data):08x}\n")
            total += size

    h = hashlib.sha256()
    with open(args.out, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    zsize = os.path.getsize(args.out)
    print(f"{args.out}: {len(files)} files, {len(all_dirs)} folders, "
          f"{total / 1e6:.1f} MB uncompressed ({stored / 1e6:.1f} MB stored), "
          f"{zsize / 1e6:.1f} MB zipped, sha256 {h.hexdigest()[:16]}")


if __name__ == "__main__":
    sys.exit(main())
