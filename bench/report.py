#!/usr/bin/env python3
"""Writes the results table of bench/run.sh as Markdown on stdout.

Usage: report.py <raw figures> <rounds> <load before> <load after>
                 <pixolune version> <mogrify version line> <single-document figures>
Each raw line: set setting program files written seconds peak_kib others status bytes
Each single-document line: document cores seconds peak_kib others status
"""
import datetime
import os
import platform
import statistics
import subprocess
import sys

PROGRAMS = {
    "pixolune": "Pixolune, {cores} helpers (default)",
    "pixolune-1": "Pixolune --jobs=1",
    "floor": "FreeImage floor (one process)",
    "mogrify": "ImageMagick mogrify",
}
SETS = {"large": "Large set (24 documents, 3000 x 2000)", "large8": "Its 16 documents of 8 bits per channel",
        "corpus": "Real corpus"}
SETTINGS = {"none": "none", "zlib6": "zlib level 6"}
# (set, setting or None for both, peer, least speed ratio)
TARGETS = [("large", None, "mogrify", 2.0), ("large", None, "floor", 1.7), ("corpus", None, "mogrify", 2.0),
           ("large", "zlib6", "mogrify", 5.0), ("large", "zlib6", "floor", 3.0)]
# (set, setting): Pixolune's total output no larger than mogrify's
SIZE_TARGETS = [("large", "zlib6")]
SINGLE_TARGET = 1.6  # A single document at zlib level 6: two cores against one.


def package_version(name):
    try:
        return subprocess.run(["dpkg-query", "-W", "-f", "${Version}", name], capture_output=True,
                              text=True, check=False).stdout.strip() or "?"
    except OSError:
        return "?"


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor() or "?"


def read_runs(path):
    runs = {}
    with open(path) as f:
        for line in f:
            s, setting, program, files, written, secs, peak, others, status, size = line.split()
            runs.setdefault((s, setting, program), []).append(
                {"files": int(files), "written": int(written), "secs": float(secs), "peak": int(peak),
                 "others": float(others), "status": int(status), "bytes": int(size)})
    return runs


def summary(runs):
    table = {}
    for key, rs in runs.items():
        table[key] = {"files": rs[0]["files"], "written": min(r["written"] for r in rs),
                      "secs": statistics.median(r["secs"] for r in rs), "peak": max(r["peak"] for r in rs),
                      "others": statistics.mean(r["others"] for r in rs),
                      "bytes": max(r["bytes"] for r in rs)}
    return table


def print_table(table, cores):
    print("| Set | PNG compression | Program | Files written | Seconds | Files/s | x mogrify | x floor "
          "| Output size | Peak memory | Other load |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for s in SETS:
        for setting in SETTINGS:
            for program, label in PROGRAMS.items():
                row = table.get((s, setting, program))
                if not row:
                    continue
                mog = table.get((s, setting, "mogrify"))
                floor = table.get((s, setting, "floor"))
                ratio = lambda peer: f"{peer['secs'] / row['secs']:.2f}" if peer else "-"
                print(f"| {SETS[s]} | {SETTINGS[setting]} | {label.format(cores=cores)} "
                      f"| {row['written']} of {row['files']} | {row['secs']:.2f} "
                      f"| {row['files'] / row['secs']:.2f} | {ratio(mog)} | {ratio(floor)} "
                      f"| {row['bytes'] / 2**20:.1f} MiB | {row['peak'] / 1024:.0f} MiB | {row['others']:.2f} |")


def print_targets(table, single):
    print("\n## Targets (Pixolune with its default helpers, same run)\n")
    for s, only, peer, target in TARGETS:
        for setting in SETTINGS:
            ours, theirs = table.get((s, setting, "pixolune")), table.get((s, setting, peer))
            if (only and setting != only) or not ours or not theirs:
                continue
            ratio = theirs["secs"] / ours["secs"]
            verdict = "met" if ratio >= target else "NOT met"
            print(f"- {SETS[s]}, {SETTINGS[setting]}: {ratio:.2f} x {peer} (target {target:.1f}): {verdict}")
    for s, setting in SIZE_TARGETS:
        ours, theirs = table.get((s, setting, "pixolune")), table.get((s, setting, "mogrify"))
        if ours and theirs:
            verdict = "met" if ours["bytes"] <= theirs["bytes"] else "NOT met"
            print(f"- {SETS[s]}, {SETTINGS[setting]}: output {ours['bytes'] / 2**20:.1f} MiB against mogrify's "
                  f"{theirs['bytes'] / 2**20:.1f} MiB (target: no larger): {verdict}")
    for doc, (one, two) in single.items():
        ratio = one / two
        verdict = "met" if ratio >= SINGLE_TARGET else "NOT met"
        print(f"- One document ({doc}.psd), zlib level 6: {ratio:.2f} x faster on two cores than on one "
              f"(target {SINGLE_TARGET:.1f}): {verdict}")


def read_single(path):
    runs = {}
    with open(path) as f:
        for line in f:
            doc, cores, secs = line.split()[:3]
            runs.setdefault(doc, {}).setdefault(int(cores), []).append(float(secs))
    return {doc: (statistics.median(c[1]), statistics.median(c[2])) for doc, c in runs.items() if 1 in c and 2 in c}


def print_single(single, runs):
    print("\n## Single documents of the large set, zlib level 6: one core against two\n")
    print(f"`taskset -c 0` against `taskset -c 0-1`, {runs} runs each, median seconds (the whole program run: "
          "start, decoding, stages, saving).\n")
    print("| Document | One core | Two cores | Speed-up |")
    print("|---|---|---|---|")
    for doc, (one, two) in single.items():
        print(f"| {doc}.psd | {one:.3f} | {two:.3f} | {one / two:.2f} |")


NOTES = """
## What differs between the programs' work

- All three write a 16-bit document with full 16-bit samples (48 or 64 bits per
  pixel); the rows for the 8-bit documents alone compare the cheaper work.
- Pixolune removes the white a transparent composite is stored over; the peers keep it.
- 14 corpus documents hold no composite (saved without maximum compatibility):
  Pixolune draws them from their layers, the peers write the blank placeholder image
  they hold (or nothing). "Files written" counts distinct output names (the
  floor and mogrify write corpus files of the same name in different folders to one
  name).
- mogrify reads only the composite (`file.psd[0]`), not every layer.
- Output size: the total of the PNG files a run wrote. All three pick a row filter per
  row by libpng's minimum-sum rule. Pixolune codes the filtered rows as zlib's runs
  (photographs, such as the large set) or with libdeflate at level 7 for zlib level 6
  (drawn artwork, such as most of the corpus), whichever is smaller; FreeImage uses
  zlib's default strategy, mogrify zlib's filtered strategy.
"""


def main():
    raw, rounds, load_before, load_after, ours_version, mogrify_version, single_path = sys.argv[1:8]
    table = summary(read_runs(raw))
    single = read_single(single_path)
    cores = os.cpu_count()
    mem_gib = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30
    others = statistics.mean(r["others"] for r in table.values())
    print("# Throughput against peers\n")
    print(f"Measured {datetime.date.today()} with `make bench` (bench/run.sh): {rounds} rounds, each running every program "
          "once per setting on the large set and on its 8-bit documents alone, and three times on the corpus, interleaved in a rotating order; "
          "the table holds the median time of the runs.\n")
    print(f"- Machine: {cpu_model()}, {cores} cores, {mem_gib:.0f} GiB, {platform.system()} "
          f"{platform.release()}")
    print(f"- Load average (1, 5, 15 min): {load_before} before, {load_after} after")
    print(f"- Other work during the runs: {others:.2f} cores busy on average (the machine's busy CPU time "
          "less the measured program's, per second; \"Other load\" per row)")
    print(f"- Pixolune {ours_version}; {mogrify_version.replace('Version: ', '')}; "
          f"FreeImage {package_version('libfreeimage3')}; zlib {package_version('zlib1g')}")
    print("- Commands: `pixolune -i <set> -o <out> -c png --png-compression=none|zlib6 -q [--jobs=1]`; "
          "`mogrify -path <out> -format png -define png:compression-level=0|6 <file>[0]...`; "
          "`freeimage_floor <out> none|zlib6 <file>...` (PNG_Z_NO_COMPRESSION or "
          "PNG_Z_DEFAULT_COMPRESSION)")
    print("- Peak memory: the largest sum over the program's processes at one time (sampled 4 times a "
          "second), at least the largest single process's peak\n")
    print_table(table, cores)
    print_targets(table, single)
    print_single(single, int(rounds) * 7)
    print(NOTES, end="")


if __name__ == "__main__":
    main()
