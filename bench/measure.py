#!/usr/bin/python3
"""Runs every benchmark against its competitors and writes the figures as JSON.

Each measurement is one process; its wall time is taken around the process and
its peak resident memory by GNU time, the same way for the filter's driver
(bench_play) and for ffmpeg, GStreamer, cat and the pread loop. Timed figures
are medians over --runs rounds after one warm-up round; within a round the
contenders run one after the other, so a ratio compares runs made under the
same load.
"""
import argparse
import datetime
import json
import os
import platform
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

SECOND = 10_000_000  # 100-ns units


def run(cmd, capture=False):
    """(wall seconds, peak RSS in KiB, parsed JSON stdout or None) of one process.
    cmd may start with taskset, which execs the program in the same process.

    The peak comes from GNU time, not from our own wait4(): Linux carries the
    peak of the process that execs into the new program, so a child forked
    from this Python would start at Python's size."""
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, *cmd],
                              stdout=subprocess.PIPE if capture else subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            sys.exit(f"measure: {' '.join(cmd)} exited with {done.returncode}")
        return wall, int(peak.read().split()[-1]), (json.loads(done.stdout) if capture else None)


def median(values):
    return statistics.median(values) if values else None


def stream_counts(path):
    """Samples per stream (video, audio) as ffprobe counts them."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,nb_frames", "-of", "json",
                          path], check=True, capture_output=True, text=True).stdout
    return {s["codec_type"]: int(s["nb_frames"]) for s in json.loads(out)["streams"]}


_stream_facts = {}


def stream_bytes(path):
    """Bytes of the samples of each stream (video, audio) as ffprobe lists them."""
    if path not in _stream_facts:
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=index,codec_type:packet=stream_index,size",
                              "-of", "json", path], check=True, capture_output=True, text=True).stdout
        facts = json.loads(out)
        kinds = {s["index"]: s["codec_type"] for s in facts["streams"]}
        totals = {}
        for packet in facts["packets"]:
            kind = kinds[packet["stream_index"]]
            totals[kind] = totals.get(kind, 0) + int(packet["size"])
        _stream_facts[path] = totals
    return _stream_facts[path]


def checked_play(path, out):
    """A play's figures are reported only when it delivered the whole file: no
    stream error, and on each pin every sample ffprobe counts with all its bytes
    (video may carry its configuration in front; start codes replace the NAL
    lengths one for one)."""
    counts, sizes = stream_counts(path), stream_bytes(path)
    problems = [f"stream error {e}" for e in out["stream_errors"]]
    for pin in out["pins"]:
        kind = pin["kind"]
        if pin["file_samples"] != counts.get(kind):
            problems.append(f"{kind}: {pin['file_samples']} samples, ffprobe counts {counts.get(kind)}")
        extra = pin["bytes"] - sizes.get(kind, 0)
        if extra < 0 or extra > (4096 if kind == "video" else 0):
            problems.append(f"{kind}: {pin['bytes']} bytes delivered, ffprobe lists {sizes.get(kind, 0)}")
    if problems:
        sys.exit(f"measure: the play of {path} did not deliver the file: " + "; ".join(problems))
    return out


def table_bytes(path):
    """Bytes of each sample-table box over all tracks: the size and offset tables
    are held whole, the timing tables through windows."""
    totals = {}
    with open(path, "rb") as f:
        def walk(start, end, depth):
            pos = start
            while pos + 8 <= end:
                f.seek(pos)
                size, kind = struct.unpack(">I4s", f.read(8))
                header = 8
                if size == 1:
                    size = struct.unpack(">Q", f.read(8))[0]
                    header = 16
                elif size == 0:
                    size = end - pos
                if size < header:
                    return
                name = kind.decode("latin-1")
                if name in ("moov", "trak", "mdia", "minf", "stbl"):
                    walk(pos + header, pos + size, depth + 1)
                elif name in ("stsz", "stsc", "stco", "co64", "stts", "ctts", "stss"):
                    totals[name] = totals.get(name, 0) + size
                pos += size
        walk(0, os.path.getsize(path), 0)
    return totals


def machine():
    model = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        mem_kib = int(f.readline().split()[1])
    versions = {}
    for tool, cmd in (("ffmpeg", ["ffmpeg", "-version"]), ("gstreamer", ["gst-launch-1.0", "--version"])):
        out = subprocess.run(cmd, capture_output=True, text=True).stdout.splitlines()
        line = next((l for l in out if "version" in l), "")
        versions[tool] = " ".join(line.split()[:3])  # "ffmpeg version 5.1.x", without the copyright
    return {"cpu": model, "cores": os.cpu_count(), "memory_gib": round(mem_kib / 1048576, 1),
            "kernel": platform.release(), "os": platform.freedesktop_os_release().get("PRETTY_NAME", ""),
            **versions}


def one_processor(cmd, cpus):
    """The command pinned to processor 0 (a single-core device) when cpus is 1."""
    return ["taskset", "-c", "0", *cmd] if cpus == 1 else cmd


def throughput(args, build, path, counts, cpus=None):
    """Whole plays of one file by each contender; cpus=1: all on one processor."""
    readlog = os.path.join(build, "bench-reads.txt")
    _, _, ours_log = run([f"{build}/bench_play", "play", path, readlog], capture=True)
    checked_play(path, ours_log)
    contenders = {
        "ours": [f"{build}/bench_play", "play", path],
        "ours_noread": [f"{build}/bench_play", "play-noread", path],
        "ffmpeg": ["ffmpeg", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f", "null", "-"],
        "gstreamer": ["gst-launch-1.0", "-q", "filesrc", f"location={path}", "!", "qtdemux", "name=d",
                      "d.video_0", "!", "queue", "!", "fakesink", "d.audio_0", "!", "queue", "!", "fakesink"],
        "cat": ["sh", "-c", 'cat "$0" > /dev/null', path],
        "pread": [f"{build}/bench_play", "replay", path, readlog],
    }
    walls = {name: [] for name in contenders}
    rss = {name: [] for name in contenders}
    inner = []
    for rnd in range(args.runs + 1):
        for name, cmd in contenders.items():
            wall, peak, out = run(one_processor(cmd, cpus), capture=name == "ours")
            if rnd == 0:
                continue  # warm-up: page cache, dynamic loader, CPU frequency
            walls[name].append(wall)
            rss[name].append(peak)
            if name == "ours":
                checked_play(path, out)
                inner.append(out["play_s"])
                last = out
    size = os.path.getsize(path)
    samples = sum(counts.values())
    result = {"file": path, "bytes": size, "samples": samples, "streams": counts, "reads": ours_log["reads"],
              "processors": cpus or os.cpu_count(),
              "ours_play_s": median(inner), "ours_pins": last["pins"], "ours_stream_errors": last["stream_errors"],
              "commands": {name: " ".join(cmd) for name, cmd in contenders.items()}, "contenders": {}}
    for name in contenders:
        wall = median(walls[name])
        result["contenders"][name] = {"wall_s": wall, "runs_s": walls[name], "mb_s": size / 1e6 / wall,
                                      "samples_s": samples / wall, "peak_rss_kib": max(rss[name])}
    return result


def opening(args, build, path):
    runs = {"ours": [], "ours_wall": [], "ours_rss": [], "probe_wall": [], "probe_rss": [], "base_rss": []}
    for rnd in range(args.runs + 1):
        wall, peak, out = run([f"{build}/bench_play", "open", path], capture=True)
        probe_wall, probe_peak, _ = run(["ffprobe", "-v", "error", "-show_format", "-show_streams", path])
        _, base_peak, _ = run([f"{build}/bench_play", "baseline"], capture=True)
        if rnd == 0:
            continue
        for key, value in (("ours", out["open_s"]), ("ours_wall", wall), ("ours_rss", peak),
                           ("probe_wall", probe_wall), ("probe_rss", probe_peak), ("base_rss", base_peak)):
            runs[key].append(value)
        pins = out["pins"]
    return {"file": path, "ours_open_s": median(runs["ours"]), "ours_open_runs_s": runs["ours"],
            "ours_wall_s": median(runs["ours_wall"]), "ours_peak_rss_kib": max(runs["ours_rss"]),
            "ffprobe_wall_s": median(runs["probe_wall"]), "ffprobe_peak_rss_kib": max(runs["probe_rss"]),
            "baseline_peak_rss_kib": max(runs["base_rss"]), "pins": pins}


def memory_by_duration(build, media):
    rows = []
    for minutes in (10, 60, 180):
        path = os.path.join(media, f"long-{minutes}.mp4")
        _, open_rss, _ = run([f"{build}/bench_play", "open", path], capture=True)
        play_wall, play_rss, out = run([f"{build}/bench_play", "play", path], capture=True)
        checked_play(path, out)
        ff_wall, ff_rss, _ = run(["ffmpeg", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f", "null", "-"])
        rows.append({"minutes": minutes, "file": path, "bytes": os.path.getsize(path), "tables": table_bytes(path),
                     "ours_open_peak_rss_kib": open_rss, "ours_play_peak_rss_kib": play_rss,
                     "ours_play_wall_s": play_wall, "ours_play_s": out["play_s"], "ours_pins": out["pins"],
                     "ffmpeg_peak_rss_kib": ff_rss, "ffmpeg_wall_s": ff_wall})
    return rows


def tool_figures(args, build, path):
    """The 3gpdemux tool on the 3-hour file: each command's peak memory, and
    extract's time against ffmpeg copying the same two streams to the same raw
    formats (Annex B H.264, ADTS AAC), on every processor and on one."""
    out = tempfile.mkdtemp(prefix="demux-bench-tool.")
    exe = f"{build}/3gpdemux"
    # scan's figure is the largest of the process and its child (GNU time reports the reaped children's peak too).
    commands = {"info": [exe, "info", path], "samples": [exe, "samples", path], "extract": [exe, "extract", path, out],
                "scan": [exe, "scan", path]}
    ffmpeg = ["ffmpeg", "-v", "error", "-y", "-i", path, "-map", "0:v:0", "-c", "copy", "-f", "h264",
              os.path.join(out, "ffmpeg.h264"), "-map", "0:a:0", "-c", "copy", "-f", "adts",
              os.path.join(out, "ffmpeg.aac")]
    result = {"file": path, "peak_rss_kib": {}, "commands": {"extract": " ".join(commands["extract"]),
                                                              "ffmpeg": " ".join(ffmpeg)}}
    for name, cmd in commands.items():
        result["peak_rss_kib"][name] = max(run(cmd)[1] for _ in range(2))
    for cpus in (None, 1):
        walls = {"extract": [], "ffmpeg": []}
        peaks = {"extract": [], "ffmpeg": []}
        for rnd in range(args.runs + 1):
            for name, cmd in (("extract", commands["extract"]), ("ffmpeg", ffmpeg)):
                wall, peak, _ = run(one_processor(cmd, cpus))
                if rnd:
                    walls[name].append(wall)
                    peaks[name].append(peak)
        key = "one_processor" if cpus == 1 else "all_processors"
        result[key] = {name: {"wall_s": median(walls[name]), "runs_s": walls[name], "peak_rss_kib": max(peaks[name])}
                       for name in walls}
    result["bytes_written"] = {f: os.path.getsize(os.path.join(out, f)) for f in sorted(os.listdir(out))}
    shutil.rmtree(out)
    return result


def fragmented(args, build, media):
    """The 3-hour file as 2-s movie fragments: opening against ffprobe, and a
    whole play's time and memory against ffmpeg and GStreamer, beside the
    same content unfragmented."""
    path = os.path.join(media, "long-180-frag.mp4")
    result = {"file": path, "bytes": os.path.getsize(path), "open": opening(args, build, path), "contenders": {}}
    contenders = {
        "ours": [f"{build}/bench_play", "play", path],
        "ffmpeg": ["ffmpeg", "-v", "error", "-i", path, "-map", "0", "-c", "copy", "-f", "null", "-"],
        "gstreamer": ["gst-launch-1.0", "-q", "filesrc", f"location={path}", "!", "qtdemux", "name=d",
                      "d.video_0", "!", "queue", "!", "fakesink", "d.audio_0", "!", "queue", "!", "fakesink"],
    }
    for name, cmd in contenders.items():
        wall, peak, _ = run(cmd)
        result["contenders"][name] = {"wall_s": wall, "peak_rss_kib": peak}
    return result


def seeking(args, build, path):
    _, _, out = run([f"{build}/bench_play", "seek", path, str(args.runs)], capture=True)
    return out


def lookups(build):
    out = subprocess.run([f"{build}/bench_sampletables_bench", "--benchmark_format=json"], check=True,
                         capture_output=True, text=True).stdout
    rows = []
    for bm in json.loads(out)["benchmarks"]:
        samples = int(bm["name"].split("/")[-1])
        rows.append({"samples": samples, "ns_per_sample": bm["per_sample"] * 1e9})
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", required=True, help="release build directory with bench_play")
    parser.add_argument("--media", required=True, help="directory of bench/make_media.sh")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    play = os.path.join(args.media, "play.mp4")
    long180 = os.path.join(args.media, "long-180.mp4")
    for tool in ("ffmpeg", "ffprobe", "gst-launch-1.0"):
        if not shutil.which(tool):
            sys.exit(f"measure: {tool} is missing")

    results = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
               "machine": machine(), "runs": args.runs, "load_before": os.getloadavg()}
    steps = (("throughput", lambda: throughput(args, build, play, stream_counts(play))),
             ("throughput_one_processor", lambda: throughput(args, build, play, stream_counts(play), cpus=1)),
             ("tool", lambda: tool_figures(args, build, long180)),
             ("open", lambda: opening(args, build, long180)),
             ("memory", lambda: memory_by_duration(build, args.media)),
             ("seek", lambda: seeking(args, build, long180)),
             ("fragmented", lambda: fragmented(args, build, args.media)),
             ("lookups", lambda: lookups(build)))
    for name, step in steps:
        start = time.perf_counter()
        print(f"measure: {name} ...", file=sys.stderr, flush=True)
        results[name] = step()
        results.setdefault("step_seconds", {})[name] = round(time.perf_counter() - start, 1)
    results["load_after"] = os.getloadavg()
    with open(args.out, "w") as f:
        json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
