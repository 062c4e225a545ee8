#!/usr/bin/env python3
"""Times the photo path against image tools as interleaved pairs; see anchors.sh.

    bench/pairs.py PHOTO_PATH_PROCESS FIXTURES_DIR PHOTO... [--pairs N] [--tsv FILE]

A ratio measured as two separate medians, minutes apart, follows whatever else the
machine did meanwhile. Here each ratio comes from pairs run back to back on the same
input, the anchor then ours (A, B, A, B, ...): a pair sees the same machine on both
sides, and the median of the pairwise ratios, printed with their range, holds from
run to run where two medians do not.

For each photo: djpeg's full decode (the floor) paired with the photo path in a
fresh process (start-up included, as for the tool) and with the path warm in one
long-lived process (both photo_path_process, which carries no benchmark library);
vipsthumbnail and ImageMagick (first file only, for scale) paired with the fresh
process. Processes are started with posix_spawn and reaped with wait4, the same way
on both sides of a pair; the warm side is timed inside its process. Each side is
timed twice: wall time (what the user waits) and processor time, user and system,
of all its threads (what the work costs in battery; a side that runs on two
processors can take less wall time than processor time). Peak memory growth is
what the fresh process reports (its largest over the runs), set beside the decoded
32-bit bitmap.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def spawn_ms(argv, out_path=os.devnull):
    """Runs argv to completion; answers ((wall ms, processor ms), exit code)."""
    fd = os.open(out_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, fd, 1), (os.POSIX_SPAWN_DUP2, fd, 2)]
        start = time.perf_counter()
        pid = os.posix_spawnp(argv[0], argv, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        elapsed = (time.perf_counter() - start) * 1000
    finally:
        os.close(fd)
    cpu = (usage.ru_utime + usage.ru_stime) * 1000
    return (elapsed, cpu), os.waitstatus_to_exitcode(status)


class Warm:
    """The photo path in one long-lived process, run once per request."""

    def __init__(self, program, fixtures, size):
        self.proc = subprocess.Popen([program, f"--fixtures={fixtures}", f"--serve={size}"],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                                     bufsize=1)

    def run_ms(self):
        """(wall ms, processor ms) of one run."""
        self.proc.stdin.write("run\n")
        self.proc.stdin.flush()
        line = self.proc.stdout.readline()
        if not line:
            raise RuntimeError("the warm photo path stopped")
        wall, cpu = line.split()
        return float(wall), float(cpu)

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def summary(anchor_ms, ours_ms, prefix=""):
    """The median of the pairwise ratios, their range and the two medians."""
    ratios = [b / a for a, b in zip(anchor_ms, ours_ms)]
    return {prefix + "ratio": statistics.median(ratios), prefix + "min": min(ratios),
            prefix + "max": max(ratios), prefix + "anchor_ms": statistics.median(anchor_ms),
            prefix + "ours_ms": statistics.median(ours_ms)}


def pairs(n, anchor, ours):
    """n pairs, anchor then ours; each a callable answering (wall ms, processor ms)."""
    a, b = [], []
    for _ in range(n):
        a.append(anchor())
        b.append(ours())
    result = summary([t[0] for t in a], [t[0] for t in b])
    result.update(summary([t[1] for t in a], [t[1] for t in b], "cpu_"))
    result["pairs"] = n
    return result


def magick_program():
    for candidate in ("magick", "convert-im6.q16", "/usr/bin/convert"):
        path = shutil.which(candidate)
        if not path:
            continue
        probe = subprocess.run([path, "-version"], capture_output=True, text=True)
        if "ImageMagick" in probe.stdout:
            return path
    return None


def measure(photo, args, work):
    size = re.search(r"photo_(\d+x\d+)_", photo).group(1)
    program, fixtures, n = args.program, args.fixtures, args.pairs
    fresh_out = os.path.join(work, "fresh.txt")
    growth = []

    def djpeg():
        ms, code = spawn_ms(["djpeg", "-outfile", os.devnull, photo])
        if code:
            raise RuntimeError("djpeg failed")
        return ms

    def fresh():
        ms, code = spawn_ms([program, f"--fixtures={fixtures}", f"--once={size}"], fresh_out)
        text = open(fresh_out).read()
        if code:
            raise RuntimeError(f"photo path failed: {text}")
        growth.append(int(re.search(r"growth_kib (\d+)", text).group(1)))
        bitmap.append(int(re.search(r"decoded_bitmap_kib (\d+)", text).group(1)))
        return ms

    bitmap = []
    results = {}
    # One of each first: page cache, dynamic loader caches.
    djpeg(), fresh()
    results["fresh"] = pairs(n, djpeg, fresh)
    warm = Warm(program, fixtures, size)
    try:
        for _ in range(3):
            warm.run_ms()
        results["warm"] = pairs(n, djpeg, warm.run_ms)
    finally:
        warm.close()
    vips = shutil.which("vipsthumbnail")
    if vips:
        out = os.path.join(work, "vips.jpg")
        results["vips"] = pairs(n, lambda: spawn_ms(
            [vips, photo, "--size", "1280x1280>", "-o", out + "[Q=70]"])[0], fresh)
    magick = magick_program()
    if magick:
        out = os.path.join(work, "magick.jpg")
        results["magick"] = pairs(n, lambda: spawn_ms(
            [magick, photo, "-auto-orient", "-resize", "1280x1280", "-quality", "70", out])[0],
            fresh)
    results["growth_kib"] = max(growth)
    results["bitmap_kib"] = bitmap[0]
    return size, results


FIELDS = ("ratio", "min", "max", "anchor_ms", "ours_ms")
LABELS = {"fresh": ("photo path, both files, fresh process", "djpeg full decode", "≤ 1.0×"),
          "warm": ("photo path, both files, warm", "djpeg full decode", "≤ 0.9×"),
          "vips": ("photo path, fresh process", "vipsthumbnail, first file", ""),
          "magick": ("photo path, fresh process", "ImageMagick convert, first file", "")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("fixtures")
    parser.add_argument("photos", nargs="+")
    parser.add_argument("--pairs", type=int, default=21)
    parser.add_argument("--tsv")
    args = parser.parse_args()
    tsv = open(args.tsv, "a") if args.tsv else None
    load_at_start = os.getloadavg()
    with tempfile.TemporaryDirectory() as work:
        print(f"{'file':<10} {'measurement':<62} {'ours ms':>8} {'anchor ms':>9} "
              f"{'ratio':>6} {'range':>11}  goal")
        for photo in args.photos:
            size, results = measure(photo, args, work)
            for key, (label, anchor, goal) in LABELS.items():
                r = results.get(key)
                if not r:
                    continue
                for prefix, how, aim in (("", "", goal), ("cpu_", ", CPU", "")):
                    print(f"{size:<10} {label + how + ' / ' + anchor.split(',')[0]:<62} "
                          f"{r[prefix + 'ours_ms']:8.1f} {r[prefix + 'anchor_ms']:9.1f} "
                          f"{r[prefix + 'ratio']:5.2f}× "
                          f"{r[prefix + 'min']:.2f}–{r[prefix + 'max']:.2f}  {aim}")
                if tsv:
                    for field in [p + f for p in ("", "cpu_") for f in FIELDS] + ["pairs"]:
                        tsv.write(f"{size}\t{key}_{field}\t{r[field]}\n")
            g, b = results["growth_kib"], results["bitmap_kib"]
            print(f"{size:<10} {'photo path, peak memory growth':<62} {g / 1024:7.1f}M "
                  f"{b / 1024:8.1f}M {g / b:5.2f}×  {'':11}  < 0.25×")
            if tsv:
                tsv.write(f"{size}\tgrowth_kib\t{g}\n{size}\tbitmap_kib\t{b}\n")
    print(f"each ratio: median of {args.pairs} interleaved pairs (anchor, ours) on the same "
          "file, with the range of the pairs")
    load_at_end = os.getloadavg()
    print("load average (1, 5, 15 min) at the start: {:.2f} {:.2f} {:.2f}, at the end: "
          "{:.2f} {:.2f} {:.2f}".format(*load_at_start, *load_at_end))
    if tsv:
        tsv.write(f"load\tstart\t{load_at_start[0]}\nload\tend\t{load_at_end[0]}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
