#!/usr/bin/env python3
"""Whole processes: `kwjpeg convert` against djpeg and cjpeg on the same files.

Decoding: `kwjpeg convert IN.jpg OUT.ppm` against `djpeg -dct fast`, the same
settings as the load filter. Encoding: `kwjpeg convert IN.ppm OUT.jpg` against
`cjpeg -quality 75 -baseline`, the save filter's settings. The two programs of a
pair run alternately, several times; each run's CPU time (user + system) and
peak resident memory come from the kernel's account of that child. Medians are
compared, and the outputs are checked to be the same bytes.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile

PHOTOS = [
    "nature/Aqua.jpg",
    "nature/FreshFlower.jpg",
    "nature/Storm.jpg",
    "abstract/Elephants_5640x3172.jpg",
    "desktop/GreenTraditional.jpg",
    "abstract/Elephants.jpg",
]
TARGET = 1.05


RUNNER = None


def measure(cmd, env):
    """Runs cmd through the launcher; returns (CPU seconds, peak RSS in KiB)."""
    done = subprocess.run([RUNNER] + cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    fields = done.stdout.split()
    if done.returncode != 0 or len(fields) != 4 or fields[3] != "0":
        raise RuntimeError(f"{' '.join(cmd)} failed: {done.stdout.strip()} {done.stderr.strip()}")
    user, system, rss = int(fields[0]), int(fields[1]), int(fields[2])
    return (user + system) / 1e6, rss


def pair(ours, theirs, runs, env):
    """Alternates the two commands runs times (after one warm-up each)."""
    measure(ours, env)
    measure(theirs, env)
    a_cpu, a_rss, b_cpu, b_rss = [], [], [], []
    for i in range(runs):
        order = [(ours, a_cpu, a_rss), (theirs, b_cpu, b_rss)]
        if i % 2:
            order.reverse()
        for cmd, cpu, rss in order:
            c, r = measure(cmd, env)
            cpu.append(c)
            rss.append(r)
    return (statistics.median(a_cpu), statistics.median(a_rss), statistics.median(b_cpu),
            statistics.median(b_rss), statistics.pstdev(a_cpu) / statistics.mean(a_cpu),
            statistics.pstdev(b_cpu) / statistics.mean(b_cpu))


def same_file(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        while True:
            x, y = fa.read(1 << 16), fb.read(1 << 16)
            if x != y:
                return False
            if not x:
                return True


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--kwjpeg", required=True)
    parser.add_argument("--library", required=True, help="the filter library kwjpeg uses (--library)")
    parser.add_argument("--runner", required=True, help="the kwbench_run launcher")
    parser.add_argument("--images", default=os.environ.get("KW_BENCH_IMAGES", "/usr/share/backgrounds/mate"))
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--djpeg", default="djpeg")
    parser.add_argument("--cjpeg", default="cjpeg")
    args = parser.parse_args()
    global RUNNER
    RUNNER = args.runner

    work = tempfile.mkdtemp(prefix="kwbench-")
    env = dict(os.environ)
    env["KWPLATFORM_REGISTRY"] = os.path.join(work, "registry.reg")
    kw = [args.kwjpeg, "--quiet", "--library", args.library, "convert"]
    print(f"whole processes, {args.runs} alternating runs per pair; medians of user+system CPU time, "
          f"peak RSS; load average {os.getloadavg()[0]:.1f}")
    print(f"\n{'file':44} {'kwjpeg s':>9} {'other s':>9} {'ratio':>7}      {'kw MiB':>7} {'other MiB':>9}  "
          f"cv kw/other  same bytes")
    over = 0
    mismatches = 0
    for rel in PHOTOS:
        src = os.path.join(args.images, rel)
        if not os.path.exists(src):
            print(f"{rel}: missing, skipped")
            continue
        base = os.path.join(work, os.path.basename(rel).rsplit(".", 1)[0])
        ppm = base + ".ppm"
        subprocess.run([args.djpeg, "-dct", "fast", "-outfile", ppm, src], check=True)
        rows = [
            ("decode " + rel, kw + [src, base + ".kw.ppm"],
             [args.djpeg, "-dct", "fast", "-outfile", base + ".dj.ppm", src], base + ".kw.ppm", base + ".dj.ppm"),
            ("encode " + rel, kw + [ppm, base + ".kw.jpg"],
             [args.cjpeg, "-quality", "75", "-baseline", "-outfile", base + ".cj.jpg", ppm],
             base + ".kw.jpg", base + ".cj.jpg"),
        ]
        for label, ours, theirs, out_a, out_b in rows:
            a_cpu, a_rss, b_cpu, b_rss, a_cv, b_cv = pair(ours, theirs, args.runs, env)
            ratio = a_cpu / b_cpu
            same = same_file(out_a, out_b)
            mismatches += not same
            verdict = "ok" if ratio <= TARGET else "OVER"
            over += ratio > TARGET
            print(f"{label:44} {a_cpu:9.4f} {b_cpu:9.4f} {ratio:7.3f} {verdict:4} {a_rss / 1024:7.1f} "
                  f"{b_rss / 1024:9.1f}  {a_cv * 100:4.1f}%/{b_cv * 100:4.1f}%  {'yes' if same else 'NO'}")
        for f in os.listdir(work):
            if f.startswith(os.path.basename(base)):
                os.remove(os.path.join(work, f))
    print(f"\ntarget: kwjpeg <= {TARGET:.2f} x the codec's own program; "
          f"{over} over target, {mismatches} outputs differ")
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main())
