#!/usr/bin/env python3
"""Rewrites the sample tables of an audio-only AMR .3gp so that each sample
holds up to N consecutive frames of one chunk, the layout of many phone voice
recordings (ffmpeg and GStreamer both write one frame per sample). The media
data is not touched, so the moov box must come after mdat.

usage: amrgroup.py IN.3gp OUT.3gp [frames-per-sample, default 10]
"""
import struct
import sys

CONTAINERS = {b"moov", b"trak", b"mdia", b"minf"}


def boxes(data):
    at = 0
    while at + 8 <= len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if size < 8 or size == 1:
            raise ValueError("unsupported box size at %d" % at)
        yield kind, data[at:at + size]
        at += size


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full(kind, payload):
    return box(kind, b"\0\0\0\0" + payload)


def table(box_bytes, entry_format):
    count = struct.unpack(">I", box_bytes[12:16])[0]
    width = struct.calcsize(entry_format)
    return [struct.unpack(entry_format, box_bytes[16 + i * width:16 + (i + 1) * width])
            for i in range(count)]


def regroup(stbl_children, per_sample):
    tables = dict(stbl_children)
    stsz = tables[b"stsz"]
    fixed, count = struct.unpack(">II", stsz[12:20])
    sizes = [fixed] * count if fixed else list(struct.unpack(">%dI" % count, stsz[20:20 + 4 * count]))
    deltas = [d for n, d in table(tables[b"stts"], ">II") for _ in range(n)]
    runs = table(tables[b"stsc"], ">III")
    chunk_count = struct.unpack(">I", tables[b"stco"][12:16])[0]
    per_chunk = []
    for r, (first, n, _) in enumerate(runs):
        last = runs[r + 1][0] - 1 if r + 1 < len(runs) else chunk_count
        per_chunk.extend([n] * (last - first + 1))

    new_sizes, new_deltas, new_per_chunk, sample = [], [], [], 0
    for n in per_chunk:
        groups = 0
        # Groups never cross a chunk boundary: chunks need not be adjacent in the file.
        for start in range(sample, sample + n, per_sample):
            end = min(start + per_sample, sample + n)
            new_sizes.append(sum(sizes[start:end]))
            new_deltas.append(sum(deltas[start:end]))
            groups += 1
        new_per_chunk.append(groups)
        sample += n

    stts = []
    for d in new_deltas:
        if stts and stts[-1][1] == d:
            stts[-1][0] += 1
        else:
            stts.append([1, d])
    stsc = []
    for chunk, n in enumerate(new_per_chunk, 1):
        if not stsc or stsc[-1][1] != n:
            stsc.append((chunk, n, 1))
    replaced = {
        b"stts": full(b"stts", struct.pack(">I", len(stts)) + b"".join(struct.pack(">II", *e) for e in stts)),
        b"stsz": full(b"stsz", struct.pack(">II", 0, len(new_sizes)) + struct.pack(">%dI" % len(new_sizes), *new_sizes)),
        b"stsc": full(b"stsc", struct.pack(">I", len(stsc)) + b"".join(struct.pack(">III", *e) for e in stsc)),
    }
    return b"".join(replaced.get(kind, raw) for kind, raw in stbl_children)


def rewrite(kind, raw, per_sample):
    if kind == b"stbl":
        return box(kind, regroup(list(boxes(raw[8:])), per_sample))
    if kind in CONTAINERS:
        return box(kind, b"".join(rewrite(k, r, per_sample) for k, r in boxes(raw[8:])))
    return raw


def main(src, dst, per_sample):
    data = open(src, "rb").read()
    top = list(boxes(data))
    kinds = [k for k, _ in top]
    if kinds.index(b"moov") < kinds.index(b"mdat"):
        raise SystemExit("%s: moov must follow mdat" % src)
    moov = dict(top)[b"moov"]
    traks = [k for k, _ in boxes(moov[8:]) if k == b"trak"]
    if len(traks) != 1:
        raise SystemExit("%s: expected one (audio) track" % src)
    out = b"".join(rewrite(k, r, per_sample) if k == b"moov" else r for k, r in top)
    open(dst, "wb").write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 10)
