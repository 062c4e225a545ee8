#!/usr/bin/env python3
"""Prints the one table of ./run bench from the results of one run.

    bench/report.py RESULTS_DIR

RESULTS_DIR holds what ./run bench wrote: each benchmark program's Google
Benchmark JSON (<program>.json), the anchor comparison's figures (anchors.tsv)
and the mailbox contention program's output (mailbox_contention.txt). Each row
is a figure, the anchor it is set beside (measured in the same run), their
ratio and the goal. A ratio measured as interleaved pairs is the median of the
pairwise ratios, with their range in brackets. A missing result leaves its
rows out and is named at the end; the exit code is then 1.
"""
import json
import re
import sys
from pathlib import Path

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


class Results:
    def __init__(self, folder: Path):
        self.folder = folder
        self.missing = []
        self._runs = {}

    def runs(self, program):
        if program not in self._runs:
            path = self.folder / f"{program}.json"
            try:
                data = json.loads(path.read_text())
                runs = {}
                for b in data.get("benchmarks", []):
                    if b.get("error_occurred"):
                        self.missing.append(f"{program}: {b.get('name')} failed: "
                                            f"{b.get('error_message', '')}")
                        continue
                    # With repetitions, the median aggregate stands for the run.
                    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
                        continue
                    name = b.get("run_name", b["name"])
                    if b.get("run_type") == "aggregate" or name not in runs:
                        runs[name] = b
                self._runs[program] = runs
            except (OSError, ValueError) as e:
                self._runs[program] = {}
                self.missing.append(f"{path.name}: {e}")
        return self._runs[program]

    def time_ms(self, program, name):
        b = self._find(program, name)
        return None if b is None else b["real_time"] * UNIT_MS[b.get("time_unit", "ns")]

    def counter(self, program, name, counter):
        b = self._find(program, name)
        return None if b is None else b.get(counter)

    def _find(self, program, name):
        runs = self.runs(program)
        for run_name, b in runs.items():
            if run_name == name or run_name.startswith(name + "/"):
                return b
        if runs:
            self.missing.append(f"{program}: no result for {name}")
        return None

    def anchors(self):
        figures = {}
        path = self.folder / "anchors.tsv"
        try:
            for line in path.read_text().splitlines():
                size, figure, value = line.split("\t")
                try:
                    figures[(size, figure)] = float(value)
                except ValueError:
                    pass
        except OSError as e:
            self.missing.append(f"{path.name}: {e}")
        return figures

    def mailbox(self):
        path = self.folder / "mailbox_contention.txt"
        try:
            text = path.read_text()
        except OSError as e:
            self.missing.append(f"{path.name}: {e}")
            return None
        kept = re.findall(r"(\d+) keys kept, (\d+) lost", text)
        if len(kept) != 2:
            self.missing.append(f"{path.name}: unexpected output")
            return None
        return [(int(k), int(lost)) for k, lost in kept]


def fmt_ms(v):
    if v is None:
        return "-"
    if v < 1:
        return f"{v * 1000:.0f} µs"
    if v < 10:
        return f"{v:.2f} ms"
    return f"{v:.1f} ms"


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    r = Results(Path(sys.argv[1]))
    rows = []  # (figure, value text, anchor, anchor text, ratio, goal)

    def add(figure, value, anchor="", anchor_value=None, goal="", fmt=fmt_ms):
        if value is None:
            return
        ratio = value / anchor_value if anchor_value else None
        rows.append((figure, fmt(value), anchor, fmt(anchor_value) if anchor else "",
                     f"{ratio:.2f}×" if ratio is not None else "", goal))

    def add_pairs(figure, value, anchor, anchor_value, ratio, low, high, goal=""):
        """A ratio measured as interleaved pairs: its median with the pairs' range."""
        if ratio is None:
            return
        rows.append((figure, fmt_ms(value), anchor, fmt_ms(anchor_value),
                     f"{ratio:.2f}× ({low:.2f}–{high:.2f})", goal))

    # The photo path against the usual tools, on the same files, as interleaved
    # pairs in one run: wall time, then processor time (all threads, user and
    # system) of the same pairs.
    a = r.anchors()
    anchors = (("fresh", "fresh process", "djpeg full decode", "≤ 1.0×"),
               ("warm", "warm", "djpeg full decode", "≤ 0.9×"),
               ("vips", "fresh process", "vipsthumbnail, first file", ""),
               ("magick", "fresh process", "ImageMagick convert, first file", ""))
    for size in ("4032x3024", "3264x2448"):
        for key, how, anchor, goal in anchors:
            for cpu in ("", "cpu_"):
                figure = lambda field, k=key, c=cpu: a.get((size, f"{k}_{c}{field}"))
                label = ", CPU" if cpu else ""
                add_pairs(f"photo path {size}, both files, {how}{label}", figure("ours_ms"),
                          anchor + label, figure("anchor_ms"), figure("ratio"), figure("min"),
                          figure("max"), "" if cpu else goal)
        growth, bitmap = a.get((size, "growth_kib")), a.get((size, "bitmap_kib"))
        add(f"photo path {size}, peak memory growth", growth, "decoded 32-bit bitmap", bitmap,
            "< 0.25×", fmt=lambda kib: "-" if kib is None else f"{kib / 1024:.1f} MiB")

    # The send request in the springboard, and a text reply across the device.
    send = "BM_SendPhoto12MP"
    counter = lambda name, program="send_request_bench", bm=send: r.counter(program, bm, name)
    add_pairs("send request, 12 MP photo, end to end (tmpfs)", counter("send_ms"),
              "photo path alone (4032x3024)", counter("path_ms"), counter("ratio_median"),
              counter("ratio_min"), counter("ratio_max"), "≤ 1.1×")
    add_pairs("send request, 12 MP photo, end to end (tmpfs), CPU", counter("send_cpu_ms"),
              "photo path alone (4032x3024), CPU", counter("path_cpu_ms"),
              counter("cpu_ratio_median"), counter("cpu_ratio_min"), counter("cpu_ratio_max"))
    board = lambda name: counter(name, "springboard_photo_bench", "BM_SpringboardPhotoReply")
    add("springboard, first photo reply after start", board("first_ms"),
        "its later photo replies, median", board("warm_median_ms"))
    add("springboard, peak memory growth over a photo reply", board("growth_kib"),
        "decoded 32-bit bitmap", board("bitmap_kib"), "< 0.25×",
        fmt=lambda kib: "-" if kib is None else f"{kib / 1024:.1f} MiB")
    add("send request, text", r.time_ms("send_request_bench", "BM_SendText"))
    reply = "BM_TextReplyToMessengerCallback"
    bus = "BM_SendNotificationToSendCall"
    add("text reply → messenger callback, median",
        r.counter("text_reply_bench", reply, "median_ms"), "messenger side alone, median",
        r.counter("send_latency_bench", bus, "median_ms"))
    add("text reply → messenger callback, p99", r.counter("text_reply_bench", reply, "p99_ms"),
        "messenger side alone, p99", r.counter("send_latency_bench", bus, "p99_ms"),
        "< 10 ms; ≤ 2.53 ms (2.3 + 10 %)")
    add("text reply, the springboard's call itself, p99",
        r.counter("text_reply_bench", reply, "call_p99_ms"))
    add("text reply → message sent, p99", r.counter("text_reply_bench", reply, "sent_p99_ms"))
    # A burst of 100 replies to 10 conversations, each confirmed from the
    # messenger's database.
    burst = "BM_ReplyBurstToConfirmed"
    counts = [r.counter("reply_burst_bench", burst, k) for k in ("delivered", "lost", "duplicated")]
    if None not in counts:
        rows.append(("reply burst 100 × 10 conversations: delivered / lost / duplicated",
                     " / ".join(str(int(c)) for c in counts), "", "", "", "100 / 0 / 0"))
    add("reply burst, request → confirmed, median",
        r.counter("reply_burst_bench", burst, "median_ms"), "text reply → message sent, median",
        r.counter("text_reply_bench", reply, "sent_median_ms"))
    add("reply burst, request → confirmed, p99", r.counter("reply_burst_bench", burst, "p99_ms"),
        "text reply → message sent, p99", r.counter("text_reply_bench", reply, "sent_p99_ms"),
        "< 20 ms")
    add("reply burst, whole burst per reply", r.counter("reply_burst_bench", burst, "per_reply_ms"))
    add("send notification → send call, p99", r.counter("send_latency_bench", bus, "p99_ms"),
        "executor alone, no bus, p99",
        r.counter("send_latency_bench", "BM_ExecutorToSendCall", "p99_ms"), "< 5 ms")

    # The read path on the large database, beside its bare statements in the
    # sqlite3 shell.
    for ours, shell, label, goal in (
        ("GetUserIdentifierByToken", "Shell/TokenLookup", "getUserIdentifier by token", "≤ 1.2×"),
        ("GetUserIdentifierByNumberAndGroup", "Shell/NilTokenAndNumberGroupLookup",
         "getUserIdentifier by number and group", "≤ 1.2×"),
        ("GetMessages/Hot_3days_10", "Shell/Hot_3days_10", "getMessages hot, 3 days / 10",
         "≤ 1.2×"),
        ("GetMessages/Hot_3650days_all", "Shell/Hot_3650days_all",
         "getMessages hot, 3650 days / all", "≤ 1.2×"),
        ("GetMessages/Medium1000_3650days_all", "Shell/Medium1000_3650days_all",
         "getMessages, 1,000 messages", "≤ 1.2×, < 1 ms"),
        ("GetMessages/Hot_3days_10", "Shell/Specified_Hot_3days_10",
         "getMessages hot, 3 days / 10", "(first statement)"),
    ):
        add(label, r.time_ms("readpath_bench", ours),
            "sqlite3 shell, " + ("first-written statement" if "Specified" in shell
                                 else "same statement"),
            r.time_ms("readpath_bench", shell), goal)

    # Eight writers on one settings file.
    mailbox = r.mailbox()
    if mailbox:
        (kept, lost), (bare_kept, bare_lost) = mailbox
        rows.append(("mailbox, 8 writers × 200 keys, keys kept", str(kept),
                     "bare read-modify-write", str(bare_kept), f"{kept / max(bare_kept, 1):.2f}×",
                     f"0 lost ({lost} lost)"))

    header = ("figure", "value", "anchor", "anchor value", "ratio", "goal")
    widths = [max(len(str(row[i])) for row in rows + [header]) for i in range(len(header))]
    line = lambda row: "  ".join(str(c).ljust(w) if i in (0, 2, 5) else str(c).rjust(w)
                                 for i, (c, w) in enumerate(zip(row, widths))).rstrip()
    print(line(header))
    print("  ".join("-" * w for w in widths))
    for row in rows:
        print(line(row))
    load = (a.get(("load", "start")), a.get(("load", "end")))
    if None not in load:
        print(f"load average over the anchor pairs: {load[0]:.2f} at the start, "
              f"{load[1]:.2f} at the end (the photo path's ratios need a quiet machine)")
    for m in dict.fromkeys(r.missing):
        print(f"missing: {m}", file=sys.stderr)
    return 1 if r.missing else 0


if __name__ == "__main__":
    sys.exit(main())
