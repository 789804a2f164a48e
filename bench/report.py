#!/usr/bin/python3
"""Turns the figures of measure.py into results.md and results.png.

usage: report.py RESULTS.json OUT.md OUT.png
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402 (the backend is chosen first)

MIB = 1024  # ru_maxrss is in KiB
GST = "GStreamer qtdemux"
CONTENDER_NAMES = {"ours_noread": "ours, sinks not reading", "ffmpeg": "ffmpeg -c copy", "gstreamer": GST,
                   "cat": "cat (page cache)", "pread": "pread loop, same reads"}
# Like for like: ffmpeg's null muxer and GStreamer's fakesink never look at
# the bytes, so they meet our play whose sinks do not read them; cat and the
# pread loop touch every byte, as our reading sinks do.
OURS_FOR = {"ffmpeg": "ours_noread", "gstreamer": "ours_noread", "cat": "ours", "pread": "ours"}


# How each kind of figure compares: whether more is better, and the word for being ahead.
KINDS = {"speed": (True, "faster"), "time": (False, "faster"), "memory": (False, "less")}


def verdict(ours, theirs, kind):
    """Which side is ahead, and by how much."""
    if not ours or not theirs:
        return ""
    more_is_better, word = KINDS[kind]
    ratio = theirs / ours
    factor = max(ratio, 1 / ratio)
    if factor < 1.005:
        return "even"
    ahead = (ratio > 1) == more_is_better
    return f"{'them' if ahead else 'ours'} {factor:.2f}x {word}"


def row(figure, ours, name, theirs, fmt, kind):
    ratio = f"{theirs / ours:.2f}" if ours and theirs else ""
    return f"| {figure} | {fmt(ours)} | {name} | {fmt(theirs)} | {ratio} | {verdict(ours, theirs, kind)} |"


def held_table_bytes(tables):
    """The tables the filter holds whole: sizes, sample-to-chunk and chunk offsets."""
    return sum(tables.get(k, 0) for k in ("stsz", "stsc", "stco", "co64"))


def mib(kib):
    return f"{kib / MIB:.1f} MiB"


def processors(t):
    return "one processor" if t["processors"] == 1 else f"{t['processors']} processors"


def throughput_rows(t):
    c = t["contenders"]
    lines = []
    for unit, field, keys in (("MB/s", "mb_s", ("ffmpeg", "gstreamer", "cat", "pread")),
                              ("samples/s", "samples_s", ("ffmpeg", "gstreamer", "pread"))):
        for key in keys:
            mine = OURS_FOR[key]
            figure = f"play, {unit}, {processors(t)}, {'sinks not reading' if mine == 'ours_noread' else 'sinks reading'}"
            lines.append(row(figure, c[mine][field], CONTENDER_NAMES[key], c[key][field],
                             lambda v: f"{v:,.0f}", "speed"))
    return lines


def tool_rows(tool):
    seconds = lambda v: f"{v * 1000:.1f} ms"  # noqa: E731
    lines = [f"| peak memory, 3gpdemux {name} 3-h file | {mib(kib)} | (none) | | | |"
             for name, kib in tool["peak_rss_kib"].items()]
    for key, label in (("all_processors", "every processor"), ("one_processor", "one processor")):
        t = tool[key]
        lines.append(row(f"3gpdemux extract 3-h file, {label}", t["extract"]["wall_s"], "ffmpeg -c copy to raw streams",
                         t["ffmpeg"]["wall_s"], seconds, "time"))
    return lines


def write_markdown(r, path):
    m, t, o = r["machine"], r["throughput"], r["open"]
    c = t["contenders"]
    seconds = lambda v: f"{v * 1000:.1f} ms"  # noqa: E731
    out = [
        "# Benchmark results",
        "",
        f"Measured {r['date']} by `bench/run.sh` on {m['cpu']}, {m['cores']} cores, {m['memory_gib']} GiB, "
        f"{m['os']} (kernel {m['kernel']}); {m['ffmpeg']}; {m['gstreamer']}. Release build. "
        f"Load average (1, 5, 15 min) {', '.join(f'{v:.2f}' for v in r['load_before'])} before and "
        f"{', '.join(f'{v:.2f}' for v in r['load_after'])} after: other work was running on the machine.",
        "",
        f"Timed figures are medians of {r['runs']} run{'s' if r['runs'] != 1 else ''} after a warm-up run; in each round every contender ran "
        "once, one after the other. Every figure is a whole process (start to exit, wall clock) unless it says "
        "otherwise, and memory is the process's peak resident set. *ratio* is the contender's figure divided "
        "by ours.",
        "",
        "| figure | ours | contender | theirs | ratio | so |",
        "|---|---|---|---|---|---|",
    ]
    out += throughput_rows(t)
    if "throughput_one_processor" in r:
        out += throughput_rows(r["throughput_one_processor"])
    if "tool" in r:
        out += tool_rows(r["tool"])
    out.append(row("open 3-h file", o["ours_wall_s"], "ffprobe", o["ffprobe_wall_s"], seconds, "time"))
    out.append(row("peak memory, play", c["ours"]["peak_rss_kib"], "ffmpeg -c copy", c["ffmpeg"]["peak_rss_kib"],
                   mib, "memory"))
    out.append(row("peak memory, play", c["ours"]["peak_rss_kib"], GST, c["gstreamer"]["peak_rss_kib"], mib, "memory"))
    out.append(row("peak memory, open 3-h file", o["ours_peak_rss_kib"], "ffprobe", o["ffprobe_peak_rss_kib"],
                   mib, "memory"))
    long180 = r["memory"][-1]
    out.append(row("peak memory, play 3-h file", long180["ours_play_peak_rss_kib"], "ffmpeg -c copy",
                   long180["ffmpeg_peak_rss_kib"], mib, "memory"))
    out.append(row("play 3-h file", long180["ours_play_wall_s"], "ffmpeg -c copy", long180["ffmpeg_wall_s"],
                   seconds, "time"))
    if "fragmented" in r:
        f = r["fragmented"]
        fc = f["contenders"]
        out.append(row("open 3-h fragmented file", f["open"]["ours_wall_s"], "ffprobe", f["open"]["ffprobe_wall_s"],
                       seconds, "time"))
        for key, name in (("ffmpeg", "ffmpeg -c copy"), ("gstreamer", GST)):
            out.append(row("play 3-h fragmented file", fc["ours"]["wall_s"], name, fc[key]["wall_s"], seconds, "time"))
            out.append(row("peak memory, play 3-h fragmented file", fc["ours"]["peak_rss_kib"], name,
                           fc[key]["peak_rss_kib"], mib, "memory"))
        out.append(row("peak memory, play 3-h file, fragmented vs not", fc["ours"]["peak_rss_kib"], "ours unfragmented",
                       long180["ours_play_peak_rss_kib"], mib, "memory"))
    for case in r["seek"]["cases"]:
        slowest = max(case["median_s"])
        out.append(f"| seek {case['case']}, 3-h file, slower pin | {slowest * 1000:.3f} ms | (none) | | | |")
    for lookup in r["lookups"]:
        out.append(f"| lookups per sample, {lookup['samples']:,} samples | {lookup['ns_per_sample']:.1f} ns "
                   "| (none) | | | |")

    video = t["streams"].get("video", 0)
    audio = t["streams"].get("audio", 0)
    out += [
        "",
        "## 1. Throughput of a whole play",
        "",
        f"`{t['file']}`: {t['bytes'] / 1e6:.0f} MB, {video} video samples (H.264 1280x720, ~13 Mbit/s, "
        f"B-frames) and {audio} AAC samples. Ours: file source -> filter -> two sinks that read every byte "
        f"(*ours*), or that take each sample without looking at its bytes (*ours, sinks not reading*), as "
        f"`ffmpeg -f null` and GStreamer's `fakesink` do; the summary compares ffmpeg and GStreamer with the "
        f"second, cat and the pread loop with the first. The play itself (Pause to both end-of-streams, inside "
        f"the process, sinks reading) took a median {seconds(t['ours_play_s'])}; the whole process "
        f"{seconds(c['ours']['wall_s'])}. The pread loop replays the {t['reads']} reads our play made (parsing "
        f"included). Samples/s counts the file's samples. Every contender ran on all {t['processors']} "
        "processors, then again pinned to one with `taskset -c 0`, as on a single-core device.",
    ]
    for tp in (t, r.get("throughput_one_processor")):
        if not tp:
            continue
        out += ["", f"On {processors(tp)}:", "",
                "| contender | median s | MB/s | samples/s | peak memory | runs (s) |",
                "|---|---|---|---|---|---|"]
        for key, name in [("ours", "ours")] + list(CONTENDER_NAMES.items()):
            v = tp["contenders"].get(key)
            if not v:
                continue
            runs = ", ".join(f"{x:.3f}" for x in v["runs_s"])
            out.append(f"| {name} | {v['wall_s']:.3f} | {v['mb_s']:,.0f} | {v['samples_s']:,.0f} | "
                       f"{mib(v['peak_rss_kib'])} | {runs} |")
    out += ["", "Command lines (the media directory as given to `bench/run.sh`):", ""]
    out += [f"- {CONTENDER_NAMES.get(name, name)}: `{cmd}`" for name, cmd in t["commands"].items()]
    out += ["- on one processor: each of these behind `taskset -c 0`"]
    pins = ", ".join(f"{p['kind']} {p['media_samples']} media samples / {p['bytes']:,} bytes" for p in t["ours_pins"])
    errors = ", ".join(t["ours_stream_errors"]) or "none"
    out += ["", f"Our sinks received: {pins}; stream errors: {errors}."]

    samples = sum(p["file_samples"] for p in o["pins"])
    out += [
        "",
        "## 2. Opening a long file",
        "",
        f"`{o['file']}`: 3 hours, {samples:,} samples. From the source's connection to the filter's input until "
        f"the output pins exist (inside the process): median {seconds(o['ours_open_s'])} "
        f"(runs: {', '.join(seconds(v) for v in o['ours_open_runs_s'])}). Whole process, created through COM, "
        f"opened, exited: {seconds(o['ours_wall_s'])}; `ffprobe -show_format -show_streams`: "
        f"{seconds(o['ffprobe_wall_s'])}.",
        "",
        "## 3. Memory",
        "",
        f"Peak resident memory of our process with the filter created and no file opened: "
        f"{mib(o['baseline_peak_rss_kib'])}; everything below includes it. Same content at three durations "
        "(time tables are read through 4 KB windows; size and offset tables are held whole):",
        "",
        "| minutes | samples | size + offset tables | timing tables | ours, open | ours, play | ffmpeg -c copy |",
        "|---|---|---|---|---|---|---|",
    ]
    for m_ in r["memory"]:
        tb = m_["tables"]
        held = held_table_bytes(tb)
        windowed = sum(tb.get(k, 0) for k in ("stts", "ctts", "stss"))
        n = sum(p["file_samples"] for p in m_["ours_pins"])
        out.append(f"| {m_['minutes']} | {n:,} | {held / 1048576:.2f} MiB | {windowed / 1048576:.2f} MiB | "
                   f"{mib(m_['ours_open_peak_rss_kib'])} | {mib(m_['ours_play_peak_rss_kib'])} | "
                   f"{mib(m_['ffmpeg_peak_rss_kib'])} |")

    s = r["seek"]
    out += [
        "",
        "## 4. Seeking in the 3-hour file",
        "",
        "The graph is paused and the sinks hold the sample they get, as paused renderers do. Each seek starts "
        "from a position reached by an earlier seek; time from `SetPositions` to the first sample of the new "
        f"position at each sink, median of {s['repeats']}. *Landed* is the video sample's media start time.",
        "",
        "| seek | from | to | video | audio | landed |",
        "|---|---|---|---|---|---|",
    ]
    for case in s["cases"]:
        times = case["median_s"] + [None, None]
        ms = lambda v: f"{v * 1000:.3f} ms" if v is not None else ""  # noqa: E731
        out.append(f"| {case['case']} | {case['from'] / 1e7:,.0f} s | {case['to'] / 1e7:,.0f} s | {ms(times[0])} | "
                   f"{ms(times[1])} | {case['landed'] / 1e7:,.2f} s |")

    out += [
        "",
        "## 5. Per-sample lookups",
        "",
        "`bench_sampletables_bench`: size, chunk, chunk offset, start time and sync sample of every sample of "
        "a synthetic track, in order.",
        "",
        "| samples | per sample |",
        "|---|---|",
    ]
    out += [f"| {x['samples']:,} | {x['ns_per_sample']:.1f} ns |" for x in r["lookups"]]
    if "tool" in r:
        tool = r["tool"]
        written = ", ".join(f"{name} {size:,} bytes" for name, size in tool["bytes_written"].items())
        out += [
            "",
            "## 6. The tool on the 3-hour file",
            "",
            f"`{tool['file']}`. The 3gpdemux tool streams: `samples` prints each line and `extract` appends each "
            "sample to its file as the sinks receive it, so its peak memory is the filter's and the parser's, "
            "not the file's. Peak memory (the larger of two runs): "
            + ", ".join(f"`{name}` {mib(kib)}" for name, kib in tool["peak_rss_kib"].items())
            + f" (`samples` writing to /dev/null). `extract` against ffmpeg copying the same two streams to the "
            f"same raw formats, median of {r['runs']}:",
            "",
            "| processors | 3gpdemux extract | ffmpeg | runs, ours (s) | runs, ffmpeg (s) |",
            "|---|---|---|---|---|",
        ]
        for key, label in (("all_processors", "all"), ("one_processor", "one (taskset -c 0)")):
            e, f = tool[key]["extract"], tool[key]["ffmpeg"]
            out.append(f"| {label} | {seconds(e['wall_s'])}, {mib(e['peak_rss_kib'])} | {seconds(f['wall_s'])}, "
                       f"{mib(f['peak_rss_kib'])} | {', '.join(f'{x:.3f}' for x in e['runs_s'])} | "
                       f"{', '.join(f'{x:.3f}' for x in f['runs_s'])} |")
        out += ["", f"Files written: {written} (ffmpeg's H.264 writer repeats the parameter sets before every "
                f"key frame; ours writes them once, at the start). Commands: `{tool['commands']['extract']}`; "
                f"`{tool['commands']['ffmpeg']}`."]
    out += ["", f"Time each step took: {', '.join(f'{k} {v} s' for k, v in r['step_seconds'].items())}.", ""]
    with open(path, "w") as f:
        f.write("\n".join(out))


def write_chart(r, path):
    fig, (bars, lines) = plt.subplots(1, 2, figsize=(12, 4.8))
    c = r["throughput"]["contenders"]
    keys = ["ffmpeg", "gstreamer", "cat", "pread"]
    ratios = [c[k]["mb_s"] / c[OURS_FOR[k]]["mb_s"] for k in keys]
    drawn = bars.bar([CONTENDER_NAMES[k] for k in keys], ratios, color=["#4878a8", "#6a9f58", "#999999", "#c07840"])
    bars.bar_label(drawn, fmt="%.2f")
    bars.axhline(1.0, color="black", linewidth=1)
    bars.set_ylabel("contender's MB/s / ours, like for like (above 1: faster)")
    bars.set_title(f"Whole play, {r['throughput']['bytes'] / 1e6:.0f} MB H.264 + AAC")
    bars.tick_params(axis="x", labelsize=8)

    minutes = [m["minutes"] for m in r["memory"]]
    for key, label, style in (("ours_play_peak_rss_kib", "ours, play", "o-"),
                              ("ours_open_peak_rss_kib", "ours, open", "s--"),
                              ("ffmpeg_peak_rss_kib", "ffmpeg -c copy", "^-")):
        lines.plot(minutes, [m[key] / MIB for m in r["memory"]], style, label=label)
    base = r["open"]["baseline_peak_rss_kib"] / MIB
    lines.axhline(base, color="grey", linestyle=":", label="ours, no file")
    lines.plot(minutes, [base + held_table_bytes(m["tables"]) / 1048576 for m in r["memory"]], color="grey",
               linestyle="--", label="no file + size and offset tables")
    lines.set_xlabel("duration (minutes), same content")
    lines.set_ylabel("peak resident memory (MiB)")
    lines.set_title("Memory against duration")
    lines.set_xticks(minutes)
    lines.set_ylim(bottom=0)
    lines.legend()
    fig.suptitle(f"3gpDemux benchmarks, {r['date']}", fontsize=10)
    fig.tight_layout()
    fig.savefig(path, dpi=90)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    with open(sys.argv[1]) as f:
        results = json.load(f)
    write_markdown(results, sys.argv[2])
    write_chart(results, sys.argv[3])


if __name__ == "__main__":
    main()
