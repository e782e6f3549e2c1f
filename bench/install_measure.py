#!/usr/bin/python3
"""Times silent installations under Wine, the product's setup.exe against an NSIS installer
of the same files, all in one run, and prints the tables.

Run by bench/install_bench.sh, which builds the installers and makes the Wine prefix; the
environment (WINEPREFIX, DISPLAY, PATH with the 64-bit shims) comes from it.

Each run is one `wine INSTALLER ARGS` into a folder that does not exist yet (removed, and the
file system synced, before the clock starts). The tools take turns run by run, so that a drift
of the machine is spread over both. The first run of each tool and payload is an untimed
warm-up whose files are checked one by one (name, size, CRC-32) against the payload's list;
every run's exit code must be 0. The goal compares the whole silent installation, nothing
set aside. With --probe, the interactive run's fixed pauses (the start timer and the progress
bar's steps, which a silent run no longer takes) are timed by pause_probe.exe once a round and
printed for information. Nothing here asserts a time: the goals are printed as observations.
"""
import argparse
import datetime
import json
import os
import platform
import resource
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from measure import clean, cpu_model, load_manifest, verify  # noqa: E402

# The files each installer adds beside the payload.
EXTRAS = {"setup": {"unin.exe"}, "nsis": {"uninstall.exe"}}


def find_process(matches):
    """The first process (its /proc folder) for which matches(folder) is true, or None;
    processes that end while they are looked at are passed over."""
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if matches(f"/proc/{pid}"):
                return f"/proc/{pid}"
        except OSError:
            continue
    return None


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def server_cpu():
    """CPU seconds the prefix's wineserver has used so far (None if not found).

    The server of a prefix works in a folder named server-DEV-INODE (in hex), DEV and INODE
    those of the prefix folder: that tells it from the servers of other prefixes."""
    st = os.stat(os.environ["WINEPREFIX"])
    want = f"server-{st.st_dev:x}-{st.st_ino:x}"
    server = find_process(lambda proc: read(f"{proc}/comm").startswith("wineserver") and
                          os.path.basename(os.readlink(f"{proc}/cwd")) == want)
    try:
        fields = read(f"{server}/stat").rsplit(")", 1)[1].split() if server else None
    except OSError:
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK") if fields else None


def wait_for_desktop_to_end(timeout=15.0):
    """Waits until the prefix's desktop process (explorer.exe) has gone.

    Wine starts it for the first program that uses windows and ends it a few seconds after the
    last one has gone; waiting for that outside the clock starts every run as the first one
    started, with no desktop left over from the run before."""
    setting = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode()
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and find_process(
            lambda proc: b"explorer.exe" in read(f"{proc}/cmdline", "rb").lower() and
            setting in read(f"{proc}/environ", "rb").split(b"\0")):
        time.sleep(0.05)


def wine(argv):
    """Runs one Windows program to its end: (wall seconds, exit code, end of its output,
    CPU seconds of the program, CPU seconds of the wineserver meanwhile).

    wine passes the exit code on modulo 256; none of the installers' failure codes (112,
    1602, 1603, 1620, NSIS's 1 and 2) is 0 modulo 256, so 0 still means success."""
    # The output goes to a file, not a pipe: the clock stops when the installer's process
    # ends. Wine's desktop process (explorer.exe), started by the first program that uses
    # windows, inherits the output and keeps it open for about a second after the last window
    # has gone; reading a pipe to its end would count that second for every run of both tools.
    with tempfile.TemporaryFile() as output:
        server0 = server_cpu()
        ru0 = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        p = subprocess.run(["wine"] + argv, stdin=subprocess.DEVNULL, stdout=output,
                           stderr=subprocess.STDOUT)
        wall = time.perf_counter() - t0
        ru1 = resource.getrusage(resource.RUSAGE_CHILDREN)
        server1 = server_cpu()
        output.seek(0)
        text = output.read().decode(errors="replace")
    cpu = ru1.ru_utime + ru1.ru_stime - ru0.ru_utime - ru0.ru_stime
    server = server1 - server0 if server0 is not None and server1 is not None else float("nan")
    return wall, p.returncode, text[-300:], cpu, server


def install_once(tool, target):
    clean(target)
    os.sync()
    wait_for_desktop_to_end()
    wall, rc, out, cpu, server = wine(tool["argv"])
    return {"wall": wall, "rc": rc, "out": out, "cpu": cpu, "server": server,
            "load": os.getloadavg()[0]}


def probe_once(argv):
    """pause_probe's measured figures in seconds: (silent-start timer, progress pauses)."""
    wall, rc, out, _, _ = wine(argv)
    fields = out.split()
    if rc != 0 or len(fields) < 6 or fields[0] != "timer":
        raise SystemExit(f"pause_probe failed (exit code {rc}): {out.strip()}")
    return {"timer": float(fields[1]) / 1000, "pauses": float(fields[3]) / 1000, "wall": wall}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--payload", action="append", nargs=4, required=True,
                    metavar=("NAME", "MANIFEST", "SETUP", "NSIS"),
                    help="a payload, its list of files (.tsv) and its two installers as "
                         "Windows paths in the prefix; repeatable")
    ap.add_argument("--setup-target", required=True,
                    help="where setup.exe installs, as a Unix path in the prefix")
    ap.add_argument("--nsis-target", required=True,
                    help="where the NSIS installer is told to install: UNIX=WINDOWS")
    ap.add_argument("--probe", default="", help="pause_probe.exe and its arguments, "
                                                  "one string, Windows path")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--json", help="where to keep every sample")
    ap.add_argument("--sizes", default="",
                    help="PAYLOAD-TOOL=BYTES,... : the installers' sizes, for the table")
    args = ap.parse_args()

    def log(s):
        print(s, file=sys.stderr, flush=True)

    lines = []

    def emit(s=""):
        print(s)
        lines.append(s)

    nsis_unix, nsis_win = args.nsis_target.split("=", 1)
    payloads = []
    for name, tsv, setup, nsis in args.payload:
        manifest = load_manifest(tsv)
        payloads.append({
            "name": name, "manifest": manifest, "files": len(manifest),
            "bytes": sum(s for s, _ in manifest.values()),
            "tools": {
                "setup": {"argv": [setup, "/silent"], "target": args.setup_target},
                "nsis": {"argv": [nsis, "/S", f"/D={nsis_win}"], "target": nsis_unix},
            }})
    sizes = dict(kv.split("=") for kv in args.sizes.split(",") if kv)
    # Silent runs no longer pause; the probe of the interactive pauses is optional.
    probe_argv = args.probe.split() if args.probe else []
    names = ["setup", "nsis"]

    start = time.time()
    load_start = os.getloadavg()
    wine_version = subprocess.run(["wine", "--version"], capture_output=True,
                                  text=True).stdout.strip()
    results = {}
    probes = []
    for payload in payloads:
        p = payload["name"]
        res = {n: {"runs": [], "check": ""} for n in names}
        for n in names:  # warm-up and check
            tool = payload["tools"][n]
            r = install_once(tool, tool["target"])
            check = f"exit code {r['rc']}: {r['out'].strip()}" if r["rc"] != 0 else ""
            if not check:
                check = verify(tool["target"], payload["manifest"], EXTRAS[n])
            res[n]["check"] = check
            log(f"  {p:>6} {n:<6} warm-up {r['wall']:.3f} s"
                f"{'  CHECK FAILED: ' + check if check else '  files checked'}")
            clean(tool["target"])
        for i in range(args.runs):
            order = names if i % 2 == 0 else names[::-1]
            for n in order:
                tool = payload["tools"][n]
                res[n]["runs"].append(install_once(tool, tool["target"]))
                clean(tool["target"])
            if probe_argv:
                probes.append(probe_once(probe_argv))
            log(f"  {p:>6} round {i + 1}/{args.runs}: "
                + ", ".join(f"{n} {res[n]['runs'][-1]['wall']:.3f} s (exit "
                            f"{res[n]['runs'][-1]['rc']})" for n in names)
                + (f", pauses {probes[-1]['timer'] + probes[-1]['pauses']:.3f} s"
                   if probes else "")
                + f", load {os.getloadavg()[0]:.1f}")
        results[p] = res
    load_end = os.getloadavg()
    loads = [r["load"] for res in results.values() for n in names for r in res[n]["runs"]]


    emit(f"Run of {datetime.datetime.now().astimezone().strftime('%Y-%m-%d %H:%M %Z')} on "
         f"{platform.node()}: {cpu_model()}, {os.cpu_count()} cores, Linux {platform.release()}, "
         f"{wine_version}")
    emit(f"Load average (1 min) {load_start[0]:.1f} at the start, {load_end[0]:.1f} at the end, "
         f"{min(loads):.1f} to {max(loads):.1f} during the timed runs "
         f"(5 min: {load_start[1]:.1f} / {load_end[1]:.1f}).")
    emit(f"{args.runs} timed silent installs per tool and payload under Wine, the tools taking "
         f"turns, after one checked warm-up each; prefix and target folders on tmpfs.")
    emit("")
    emit("| payload | tool | command | installer MB | min s | median s | max s | CPU s | "
         "wineserver CPU s | exit codes | files |")
    emit("|---|---|---|---:|---:|---:|---:|---:|---:|---|---|")
    med = {}
    for payload in payloads:
        p = payload["name"]
        for n in names:
            runs = results[p][n]["runs"]
            walls = sorted(r["wall"] for r in runs)
            med[(p, n)] = statistics.median(walls)
            codes = sorted({r["rc"] for r in runs})
            cmd = "setup.exe /silent" if n == "setup" else "NSIS setup.exe /S /D=..."
            size = sizes.get(f"{p}-{n}")
            emit(f"| {p} ({payload['files']} files, {payload['bytes'] / 1e6:.1f} MB) | {n} | "
                 f"`{cmd}` | {int(size) / 1e6 if size else float('nan'):.1f} | {walls[0]:.3f} "
                 f"| {med[(p, n)]:.3f} | {walls[-1]:.3f} "
                 f"| {statistics.median(r['cpu'] for r in runs):.2f} "
                 f"| {statistics.median(r['server'] for r in runs):.2f} "
                 f"| {', '.join(map(str, codes))} | "
                 f"{results[p][n]['check'] or 'ok'} |")
    if probes:
        timer = statistics.median(x["timer"] for x in probes)
        pauses = statistics.median(x["pauses"] for x in probes)
        fixed = statistics.median(x["timer"] + x["pauses"] for x in probes)
        nominal = probe_nominal(probe_argv)
        emit("")
        emit(f"The interactive run's fixed pauses (a silent run takes none), as pause_probe.exe "
             f"measured them under Wine ({len(probes)} runs, median): start timer {timer:.3f} s "
             f"(nominal {nominal[0] / 1000:.3f}), progress pauses {pauses:.3f} s (nominal "
             f"{nominal[1] / 1000:.3f}), together {fixed:.3f} s "
             f"(nominal {sum(nominal) / 1000:.3f}).")
    emit("")
    # The whole silent installation, nothing set aside, against NSIS's.
    goals = {"mixed": 0.5, "tiny": 0.5}
    emit("| payload | setup s | NSIS s | setup / NSIS | goal | met |")
    emit("|---|---:|---:|---:|---:|---|")
    for payload in payloads:
        p = payload["name"]
        ours, theirs = med[(p, "setup")], med[(p, "nsis")]
        raw = ours / theirs
        goal = goals.get(p)
        goal_cells = f"≤ {goal:.2f} | {'yes' if raw <= goal else 'no'}" if goal else "– | –"
        emit(f"| {p} | {ours:.3f} | {theirs:.3f} | {raw:.2f} | {goal_cells} |")
    emit("")
    emit("CPU s: user and system time of the installer's process (median); wineserver CPU s: "
         "the prefix's server's meanwhile, which every file operation and window message "
         "goes through.")
    emit("")
    emit("setup / NSIS: median time of the product's whole silent installation over the NSIS "
         "installer's (below 1: the product is faster).")
    emit(f"\nWhole measurement: {time.time() - start:.0f} s.")

    if args.json:
        with open(args.json, "w") as f:
            json.dump({"summary": lines, "results": results, "probes": probes}, f, indent=1)


def probe_nominal(argv):
    """The nominal (timer, pauses) in ms of pause_probe's arguments."""
    timer = int(argv[1])
    total = 0
    for group in argv[2:]:
        count, rest = group.split("x")
        step, _, final = rest.partition("+")
        total += int(count) * int(step) + int(final or 0)
    return timer, total


if __name__ == "__main__":
    main()
