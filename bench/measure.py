#!/usr/bin/python3
"""Times extractors on the benchmark payloads, all in one run, and prints the tables.

Each run is one process into an empty output folder (emptied, and the file system synced,
before the clock starts). Wall time from the parent; user/system time and peak resident
memory from the child's rusage, as GNU time reports it. Tools take turns run by run, so
that a drift of the machine is spread over all of them. The first run of each tool and payload is an
untimed warm-up whose output is checked file by file against the payload's list.
Nothing here asserts a time: the goals are printed as observations.
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zlib


def tools(bench_bin):
    """name -> argv template ({zip}, {out}); out=None: the tool writes nothing."""
    return {
        "reader": ([bench_bin, "reader", "{zip}", "{out}"], True),
        "unzip": (["unzip", "-q", "-o", "{zip}", "-d", "{out}"], True),
        "bsdtar": (["bsdtar", "-xf", "{zip}", "-C", "{out}"], True),
        "7z": (["7z", "x", "-y", "-bd", "-o{out}", "{zip}"], True),
        "raw-write": ([bench_bin, "raw-write", "{zip}", "{out}"], True),
        "raw-inflate": ([bench_bin, "raw-inflate", "{zip}"], False),
    }


def load_manifest(tsv):
    files = {}
    with open(tsv) as f:
        for line in f:
            name, size, crc = line.rstrip("\n").split("\t")
            files[name] = (int(size), int(crc, 16))
    return files


def verify(out, manifest, extras=frozenset()):
    """Empty string if out holds exactly the manifest's files with their bytes (plus the
    names in extras, which must be there too)."""
    seen = {}
    for dirpath, _, names in os.walk(out):
        for n in names:
            p = os.path.join(dirpath, n)
            rel = os.path.relpath(p, out)
            crc = 0
            size = 0
            with open(p, "rb") as f:
                for block in iter(lambda: f.read(1 << 20), b""):
                    crc = zlib.crc32(block, crc)
                    size += len(block)
            seen[rel] = (size, crc)
    missing = manifest.keys() - seen.keys()
    extra = seen.keys() - manifest.keys() - extras
    absent = extras - seen.keys()
    wrong = [n for n in manifest.keys() & seen.keys() if manifest[n] != seen[n]]
    problems = []
    if missing:
        problems.append(f"{len(missing)} missing (e.g. {sorted(missing)[0]})")
    if extra:
        problems.append(f"{len(extra)} unexpected (e.g. {sorted(extra)[0]})")
    if absent:
        problems.append(f"no {', '.join(sorted(absent))}")
    if wrong:
        problems.append(f"{len(wrong)} with wrong bytes (e.g. {sorted(wrong)[0]})")
    return "; ".join(problems)


def clean(out):
    if os.path.lexists(out):
        shutil.rmtree(out)


# The child's peak memory comes from GNU time rather than from our own wait4: Linux keeps
# the peak resident size across execve, so a child forked from this (large) Python process
# would report at least the parent's size. GNU time itself is about 1 MB.
TIME = "/usr/bin/time"


def run_once(argv, out, wants_out):
    if wants_out:
        clean(out)
        os.makedirs(out)
    os.sync()
    env = dict(os.environ, LC_ALL="C.UTF-8")
    fd, usage = tempfile.mkstemp(prefix="unzip-bench-rusage-")
    os.close(fd)
    try:
        t0 = time.perf_counter()
        p = subprocess.run([TIME, "-q", "-f", "%U %S %M", "-o", usage] + argv,
                           stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
        wall = time.perf_counter() - t0
        with open(usage) as f:
            user, system, rss = f.read().split()[-3:]
    finally:
        os.unlink(usage)
    return {"wall": wall, "user": float(user), "sys": float(system), "rss_kb": int(rss),
            "rc": p.returncode, "err": p.stderr.decode(errors="replace")[-300:]}


def measure(payloads, names, table, runs, out_root, log):
    """Returns {payload: {tool: {"runs": [...], "check": str}}}."""
    results = {}
    for payload in payloads:
        zip_path, manifest = payload["zip"], payload["manifest"]
        res = {n: {"runs": [], "check": ""} for n in names}
        for n in names:  # warm-up and check
            argv, wants_out = table[n]
            out = os.path.join(out_root, n)
            argv = [a.format(zip=zip_path, out=out) for a in argv]
            r = run_once(argv, out, wants_out)
            check = f"exit code {r['rc']}: {r['err'].strip()}" if r["rc"] != 0 else ""
            if wants_out and not check:
                check = verify(out, manifest)
            res[n]["check"] = check
            log(f"  {payload['name']:>13} {n:<11} warm-up {r['wall']:.3f} s"
                f"{'  CHECK FAILED: ' + check if check else '  output checked'}")
            clean(out)
        for i in range(runs):
            order = names[i % len(names):] + names[:i % len(names)]
            for n in order:
                argv, wants_out = table[n]
                out = os.path.join(out_root, n)
                argv = [a.format(zip=zip_path, out=out) for a in argv]
                res[n]["runs"].append(run_once(argv, out, wants_out))
                clean(out)
            log(f"  {payload['name']:>13} round {i + 1}/{runs} done")
        results[payload["name"]] = res
    return results


def summarise(results, payloads, names):
    rows = {}
    for payload in payloads:
        res = results[payload["name"]]
        for n in names:
            runs = res[n]["runs"]
            walls = sorted(r["wall"] for r in runs)
            med = statistics.median(walls)
            rows[(payload["name"], n)] = {
                "min": walls[0], "median": med, "max": walls[-1],
                "mbps": payload["bytes"] / 1e6 / med, "fps": payload["files"] / med,
                "cpu": statistics.median(r["user"] + r["sys"] for r in runs),
                "sys": statistics.median(r["sys"] for r in runs),
                "rss_mb": max(r["rss_kb"] for r in runs) / 1024,
                "check": res[n]["check"] or ("ok" if all(r["rc"] == 0 for r in runs)
                                             else "non-zero exit"),
            }
    return rows


def print_tables(title, rows, payloads, names, emit):
    for payload in payloads:
        p = payload["name"]
        emit(f"\n### {title}: {p} ({payload['files']} files, {payload['bytes'] / 1e6:.1f} MB "
             f"uncompressed, {payload['zip_bytes'] / 1e6:.1f} MB zipped)\n")
        emit("| tool | min s | median s | max s | MB/s | files/s | CPU s (sys) | peak RSS MB | output |")
        emit("|---|---:|---:|---:|---:|---:|---:|---:|---|")
        for n in names:
            r = rows[(p, n)]
            emit(f"| {n} | {r['min']:.3f} | {r['median']:.3f} | {r['max']:.3f} | {r['mbps']:.0f} "
                 f"| {r['fps']:.0f} | {r['cpu']:.2f} ({r['sys']:.2f}) | {r['rss_mb']:.1f} "
                 f"| {r['check'] if n != 'raw-inflate' or r['check'] != 'ok' else 'no output'} |")
        emit("\nSpeed ratios (median time of the column's tool / median time of the row's "
             "tool; above 1: the row is faster):\n")
        emit("| | " + " | ".join(names) + " |")
        emit("|---|" + "---:|" * len(names))
        for a in names:
            cells = [f"{rows[(p, b)]['median'] / rows[(p, a)]['median']:.2f}" for b in names]
            emit(f"| {a} | " + " | ".join(cells) + " |")


def print_goals(rows, payloads, names, emit):
    if "reader" not in names:
        return
    emit("\nObservations against the goals (not assertions):\n")
    for payload in payloads:
        p = payload["name"]
        me = rows[(p, "reader")]["median"]
        others = [n for n in ("unzip", "bsdtar", "7z") if n in names]
        ahead = [n for n in others if me < rows[(p, n)]["median"]]
        speedups = ", ".join(f"{n} x{rows[(p, n)]['median'] / me:.2f}" for n in others)
        line = f"- {p}: reader ahead of {len(ahead)} of {len(others)} ({speedups})"
        if "raw-write" in names:
            line += (f"; at {100 * rows[(p, 'raw-write')]['median'] / me:.0f} % of the raw "
                     f"inflate-and-write limit's speed (goal: 85 % or more)")
        emit(line)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="unzip_bench")
    ap.add_argument("--payload-dir", required=True)
    ap.add_argument("--payloads", nargs="+", default=["mixed", "tiny"])
    ap.add_argument("--memory-payload", default="mixed-quarter",
                    help="a smaller payload, for peak memory against size ('' for none)")
    ap.add_argument("--tools", nargs="+", default=list(tools("x")))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--disk-runs", type=int, default=5)
    ap.add_argument("--shm-out", default="/dev/shm/unzip-bench")
    ap.add_argument("--disk-out", required=True)
    ap.add_argument("--json", help="where to keep every sample")
    args = ap.parse_args()

    table = tools(args.bin)
    names = [n for n in args.tools if n in table]

    def log(s):
        print(s, file=sys.stderr, flush=True)

    if "reader" in names:
        if subprocess.run([args.bin, "has-reader"]).returncode != 0:
            log("unzip_bench was built without the reader: measuring the others only")
            names.remove("reader")
    lines = []

    def emit(s=""):
        print(s)
        lines.append(s)

    def payload(name):
        z = os.path.join(args.payload_dir, name + ".zip")
        manifest = load_manifest(z + ".tsv")
        return {"name": name, "zip": z, "manifest": manifest, "files": len(manifest),
                "bytes": sum(s for s, _ in manifest.values()), "zip_bytes": os.path.getsize(z)}

    main_payloads = [payload(n) for n in args.payloads]
    start = time.time()
    emit(f"Run of {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')} on "
         f"{platform.node()}: {cpu_model()}, {os.cpu_count()} cores, Linux {platform.release()}, "
         f"zlib {zlib.ZLIB_RUNTIME_VERSION}")
    emit(f"Tools: {tool_versions()}")
    emit(f"{args.runs} timed runs per tool on tmpfs ({args.shm_out}), {args.disk_runs} on disk "
         f"({args.disk_out}), after one checked warm-up each.")

    log("tmpfs:")
    shm = measure(main_payloads, names, table, args.runs, args.shm_out, log)
    log("disk:")
    disk = measure(main_payloads, names, table, args.disk_runs, args.disk_out, log)
    mem_payloads = []
    mem = {}
    if args.memory_payload:
        mem_payloads = [payload(args.memory_payload)]
        log("memory check:")
        mem = measure(mem_payloads, names, table, 1, args.shm_out, log)
    for out in (args.shm_out, args.disk_out):
        clean(out)

    shm_rows = summarise(shm, main_payloads, names)
    disk_rows = summarise(disk, main_payloads, names)
    print_tables("tmpfs", shm_rows, main_payloads, names, emit)
    print_goals(shm_rows, main_payloads, names, emit)
    print_tables("disk (beside only: I/O-bound)", disk_rows, main_payloads, names, emit)
    if mem_payloads:
        mem_rows = summarise(mem, mem_payloads, names)
        all_rows = {**shm_rows, **mem_rows}
        cols = mem_payloads + main_payloads
        emit("\n### Peak resident memory (MB) against the payload\n")
        emit("| tool | " + " | ".join(f"{p['name']} ({p['bytes'] / 1e6:.0f} MB, {p['files']} files)"
                                      for p in cols) + " |")
        emit("|---|" + "---:|" * len(cols))
        for n in names:
            emit(f"| {n} | " + " | ".join(f"{all_rows[(p['name'], n)]['rss_mb']:.1f}"
                                         for p in cols) + " |")
    emit(f"\nWhole measurement: {time.time() - start:.0f} s.")

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"summary": lines, "tmpfs": shm, "disk": disk, "memory": mem}, f, indent=1)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def tool_versions():
    def first(argv, pick):
        try:
            out = subprocess.run(argv, capture_output=True, text=True).stdout.splitlines()
            return next((l.strip() for l in out if pick in l), "?")
        except OSError:
            return "missing"
    return "; ".join([first(["unzip", "-v"], "UnZip"), first(["bsdtar", "--version"], "bsdtar"),
                      first(["7z"], "7-Zip")])


if __name__ == "__main__":
    main()
