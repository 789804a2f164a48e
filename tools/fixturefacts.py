#!/usr/bin/env python3
"""Writes the .facts file for one fixture: ffprobe's view of the streams and
packets, joined with what the file's own tables say (edit lists, stts decode
times, ctts offsets, sample-entry fourccs). ffprobe reports times after it has
applied the edit lists, so the raw table values come from a walk of the boxes.

usage: fixturefacts.py FILE > FILE.facts
Line format: see tests/fixtures/README.md.
"""
import json
import struct
import subprocess
import sys


def boxes(data, start, end):
    """Yields (type, payload_start, box_end) for the boxes in [start, end)."""
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[at + 8:at + 16])[0]
            header = 16
        elif size == 0:
            size = end - at
        if size < header or at + size > end:
            raise ValueError("bad box %r at %d" % (kind, at))
        yield kind, at + header, at + size
        at += size


def child(data, start, end, kind):
    for k, s, e in boxes(data, start, end):
        if k == kind:
            return s, e
    return None


def path(data, start, end, *kinds):
    span = (start, end)
    for kind in kinds:
        span = child(data, span[0], span[1], kind)
        if span is None:
            return None
    return span


def full_header(data, s):
    return data[s], s + 4


def read_elst(data, span):
    version, at = full_header(data, span[0])
    count = struct.unpack(">I", data[at:at + 4])[0]
    at += 4
    entries = []
    for _ in range(count):
        if version == 1:
            dur, mtime = struct.unpack(">Qq", data[at:at + 16])
            at += 16
        else:
            dur, mtime = struct.unpack(">Ii", data[at:at + 8])
            at += 8
        rate_int, rate_frac = struct.unpack(">hh", data[at:at + 4])
        at += 4
        entries.append((dur, mtime, rate_int, rate_frac))
    return entries


def read_pairs(data, span, signed=False):
    version, at = full_header(data, span[0])
    count = struct.unpack(">I", data[at:at + 4])[0]
    fmt = ">Ii" if (signed or version == 1) else ">II"
    return [struct.unpack(fmt, data[at + 4 + 8 * i:at + 12 + 8 * i]) for i in range(count)]


def read_sizes(data, stbl):
    stsz = child(data, *stbl, b"stsz")
    if stsz:
        _, at = full_header(data, stsz[0])
        fixed, count = struct.unpack(">II", data[at:at + 8])
        if fixed:
            return [fixed] * count
        return list(struct.unpack(">%dI" % count, data[at + 8:at + 8 + 4 * count]))
    stz2 = child(data, *stbl, b"stz2")
    _, at = full_header(data, stz2[0])
    field, count = data[at + 3], struct.unpack(">I", data[at + 4:at + 8])[0]
    raw = data[at + 8:]
    if field == 8:
        return list(raw[:count])
    if field == 16:
        return list(struct.unpack(">%dH" % count, raw[:2 * count]))
    return [(raw[i // 2] >> (4 if i % 2 == 0 else 0)) & 15 for i in range(count)]


def read_offsets(data, stbl, sizes):
    stco = child(data, *stbl, b"stco")
    fmt, width = (">I", 4) if stco else (">Q", 8)
    span = stco or child(data, *stbl, b"co64")
    _, at = full_header(data, span[0])
    count = struct.unpack(">I", data[at:at + 4])[0]
    chunks = [struct.unpack(fmt, data[at + 4 + width * i:at + 4 + width * (i + 1)])[0]
              for i in range(count)]
    stsc = child(data, *stbl, b"stsc")
    _, at = full_header(data, stsc[0])
    n = struct.unpack(">I", data[at:at + 4])[0]
    runs = [struct.unpack(">III", data[at + 4 + 12 * i:at + 16 + 12 * i]) for i in range(n)]
    offsets = []
    for r, (first, per_chunk, _) in enumerate(runs):
        last = runs[r + 1][0] - 1 if r + 1 < len(runs) else len(chunks)
        for chunk in range(first, last + 1):
            pos = chunks[chunk - 1]
            for _ in range(per_chunk):
                if len(offsets) == len(sizes):
                    return offsets
                offsets.append(pos)
                pos += sizes[len(offsets) - 1]
    return offsets


def read_track(data, trak):
    tkhd = child(data, *trak, b"tkhd")
    version, at = full_header(data, tkhd[0])
    track_id = struct.unpack(">I", data[at + (16 if version == 1 else 8):][:4])[0]
    mdhd = path(data, *trak, b"mdia", b"mdhd")
    version, at = full_header(data, mdhd[0])
    if version == 1:
        timescale, duration = struct.unpack(">IQ", data[at + 16:at + 28])
    else:
        timescale, duration = struct.unpack(">II", data[at + 8:at + 16])
    stbl = path(data, *trak, b"mdia", b"minf", b"stbl")
    stsd = child(data, *stbl, b"stsd")
    fourcc = data[stsd[0] + 12:stsd[0] + 16].decode("latin-1")
    sizes = read_sizes(data, stbl)
    offsets = read_offsets(data, stbl, sizes)
    dts, t, delta = [], 0, 0
    for count, delta in read_pairs(data, child(data, *stbl, b"stts")):
        for _ in range(count):
            dts.append(t)
            t += delta
    ctts_span = child(data, *stbl, b"ctts")
    ctts = []
    if ctts_span:
        for count, offset in read_pairs(data, ctts_span):
            ctts.extend([offset] * count)
    ctts += [0] * (len(sizes) - len(ctts))
    elst_span = path(data, *trak, b"edts", b"elst")
    return {
        "id": track_id, "timescale": timescale, "duration": duration, "fourcc": fourcc,
        "sizes": sizes, "offsets": offsets, "dts": dts, "ctts": ctts, "last_delta": delta,
        "moov_samples": len(sizes),
        "edits": read_elst(data, elst_span) if elst_span else [],
        "has_stss": child(data, *stbl, b"stss") is not None,
        "has_ctts": ctts_span is not None,
    }


def u32(data, at):
    return struct.unpack(">I", data[at:at + 4])[0]


def read_flagged(data, at, flags, fields):
    """Reads the 32-bit fields (bit, default, signed) whose flag bit is set,
    in order; an absent field keeps its default. Returns the values and the
    position after them."""
    values = []
    for bit, value, signed in fields:
        if flags & bit:
            value = struct.unpack(">i" if signed else ">I", data[at:at + 4])[0]
            at += 4
        values.append(value)
    return values, at


def read_fragments(data, moov, tracks):
    """Appends the samples of every moof, in file order, to the tracks'
    sizes, offsets, dts and ctts (ISO/IEC 14496-12 movie fragments)."""
    by_id = {t["id"]: t for t in tracks}
    trex = {}
    mvex = child(data, *moov, b"mvex")
    for kind, s, e in boxes(data, *mvex) if mvex else []:
        if kind == b"trex":
            track_id, _, duration, size, flags = struct.unpack(">5I", data[s + 4:s + 24])
            trex[track_id] = (duration, size, flags)
    ends = {t["id"]: (t["dts"][-1] + t["last_delta"] if t["dts"] else 0) for t in tracks}
    for kind, moof, moof_end in boxes(data, 0, len(data)):
        if kind != b"moof":
            continue
        moof_at = moof - 8
        data_end = moof_at
        for tkind, s, e in boxes(data, moof, moof_end):
            if tkind != b"traf":
                continue
            tfhd = child(data, s, e, b"tfhd")
            flags = u32(data, tfhd[0]) & 0xFFFFFF
            at = tfhd[0] + 4
            track_id = u32(data, at)
            at += 4
            duration, size, sflags = trex.get(track_id, (0, 0, 0))
            base = data_end
            if flags & 0x1:
                base = struct.unpack(">Q", data[at:at + 8])[0]
                at += 8
            elif flags & 0x20000:
                base = moof_at
            (_, duration, size, sflags), at = read_flagged(
                data, at, flags, [(0x2, 0, False), (0x8, duration, False), (0x10, size, False), (0x20, sflags, False)])
            track = by_id[track_id]
            tfdt = child(data, s, e, b"tfdt")
            t = ends[track_id]
            if tfdt:
                t = (struct.unpack(">Q", data[tfdt[0] + 4:tfdt[0] + 12])[0] if data[tfdt[0]] == 1
                     else u32(data, tfdt[0] + 4))
            pos = base
            for rkind, rs, re_ in boxes(data, s, e):
                if rkind != b"trun":
                    continue
                rflags = u32(data, rs) & 0xFFFFFF
                count = u32(data, rs + 4)
                at = rs + 8
                if rflags & 0x1:
                    pos = base + struct.unpack(">i", data[at:at + 4])[0]
                    at += 4
                if rflags & 0x4:
                    at += 4
                for _ in range(count):
                    (d, z, _, c), at = read_flagged(
                        data, at, rflags, [(0x100, duration, False), (0x200, size, False), (0x400, 0, False), (0x800, 0, True)])
                    track["sizes"].append(z)
                    track["offsets"].append(pos)
                    track["dts"].append(t)
                    track["ctts"].append(c)
                    pos += z
                    t += d
            ends[track_id] = t
            data_end = pos
    for track in tracks:
        track["end"] = ends[track["id"]]


def read_movie(data):
    moov = child(data, 0, len(data), b"moov")
    mvhd = child(data, *moov, b"mvhd")
    version, at = full_header(data, mvhd[0])
    if version == 1:
        timescale, duration = struct.unpack(">IQ", data[at + 16:at + 28])
    else:
        timescale, duration = struct.unpack(">II", data[at + 8:at + 16])
    tracks = [read_track(data, (s, e)) for k, s, e in boxes(data, *moov) if k == b"trak"]
    read_fragments(data, moov, tracks)
    return timescale, duration, tracks, read_udta(data, moov)


def language(packed):
    """ISO 639-2/T code packed as three 5-bit letters (3GPP asset boxes)."""
    return "".join(chr(0x60 + ((packed >> shift) & 31)) for shift in (10, 5, 0))


def asset_text(raw):
    """3GPP asset strings are UTF-8, or UTF-16 when they start with a BOM."""
    if raw[:2] in (b"\xfe\xff", b"\xff\xfe"):
        return raw.decode("utf-16").rstrip("\0")
    return raw.split(b"\0", 1)[0].decode("utf-8")


def read_udta(data, moov):
    """(box path, language, text) for the 3GPP asset boxes and the item-list
    entries in moov/udta, read from the boxes themselves: ffprobe does not
    report every one of them."""
    found = []
    udta = child(data, *moov, b"udta")
    if udta is None:
        return found
    for kind, s, e in boxes(data, *udta):
        if kind in (b"titl", b"auth", b"perf", b"gnre", b"albm", b"dscp", b"cprt"):
            packed = struct.unpack(">H", data[s + 4:s + 6])[0]
            found.append((kind, language(packed), asset_text(data[s + 6:e])))
        elif kind == b"meta":
            # Full box in MP4 files, plain box in QuickTime ones.
            start = s + 4 if data[s:s + 4] == b"\0\0\0\0" else s
            ilst = child(data, start, e, b"ilst")
            for item, a, b in boxes(data, *ilst) if ilst else []:
                value = child(data, a, b, b"data")
                if value:
                    text = data[value[0] + 8:value[1]].decode("utf-8", "replace")
                    found.append((b"ilst:" + item, "-", text))
    return found


def quote_bytes(raw):
    return "".join("%%%02X" % byte if byte <= 0x20 or byte >= 0x7F or byte in (0x25, 0x3D)
                   else chr(byte) for byte in raw)


def quote(text):
    """Percent-encodes the UTF-8 bytes of text that are not printable ASCII,
    and '%', '=' and space, so a value is one token."""
    return quote_bytes(str(text).encode("utf-8"))


def value(x):
    return "-" if x is None or x == "N/A" else quote(x)


def md5_of(hash_field):
    return hash_field.split(":", 1)[1] if hash_field else "-"


def main(name):
    data = open(name, "rb").read()
    probe = json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-show_streams", "-show_packets", "-show_data_hash", "MD5",
         "-show_format", "-of", "json", name], check=True, capture_output=True).stdout)
    movie_timescale, movie_duration, tracks, udta = read_movie(data)
    by_id = {t["id"]: t for t in tracks}
    out = ["movie timescale=%d duration=%d tracks=%d" % (movie_timescale, movie_duration, len(tracks))]
    stream_track = {}
    for st in probe["streams"]:
        track = by_id[int(st["id"], 16)]
        stream_track[st["index"]] = track
        den = st["time_base"].split("/")[1]
        if int(den) != track["timescale"]:
            raise SystemExit("%s: stream %d time base %s is not the mdhd time scale"
                             % (name, st["index"], st["time_base"]))
        out.append(" ".join([
            "track %d %s" % (st["index"], st["codec_type"]),
            "codec=%s" % st["codec_name"], "tag=%s" % quote(track["fourcc"]),
            "track_id=%d" % track["id"], "timescale=%d" % track["timescale"],
            "duration_ts=%d" % track["duration"], "samples=%d" % len(track["sizes"]),
            "width=%s" % value(st.get("width")), "height=%s" % value(st.get("height")),
            "sample_rate=%s" % value(st.get("sample_rate")), "channels=%s" % value(st.get("channels")),
            "profile=%s" % value(st.get("profile")),
            "extradata_size=%d" % st.get("extradata_size", 0),
            "extradata_md5=%s" % md5_of(st.get("extradata_hash")),
            "stss=%d ctts=%d" % (track["has_stss"], track["has_ctts"]),
            "moov_samples=%d" % track["moov_samples"], "end_ts=%d" % track["end"]]))
        for n, (dur, mtime, rate_int, rate_frac) in enumerate(track["edits"]):
            out.append("edit %d %d segment_duration=%d media_time=%d rate_integer=%d rate_fraction=%d"
                       % (st["index"], n, dur, mtime, rate_int, rate_frac))
    seen = {i: set() for i in stream_track}
    packet_lines = {i: [] for i in stream_track}
    for pkt in probe["packets"]:
        index = pkt["stream_index"]
        track = stream_track[index]
        pos, size = int(pkt["pos"]), int(pkt["size"])
        sample = track["offsets"].index(pos)
        if track["sizes"][sample] != size or sample in seen[index]:
            raise SystemExit("%s: packet at %d does not match sample %d" % (name, pos, sample))
        seen[index].add(sample)
        ctts = track["ctts"][sample]
        packet_lines[index].append(
            "packet %d sample=%d size=%d pos=%d dts=%s pts=%s rawdts=%d ctts=%d duration=%s key=%d md5=%s"
            % (index, sample, size, pos, value(pkt.get("dts")), value(pkt.get("pts")),
               track["dts"][sample], ctts, value(pkt.get("duration")),
               1 if "K" in pkt["flags"] else 0, md5_of(pkt["data_hash"])))
    for index, track in stream_track.items():
        if len(seen[index]) != len(track["sizes"]):
            raise SystemExit("%s: stream %d has %d samples but ffprobe gave %d packets"
                             % (name, index, len(track["sizes"]), len(seen[index])))
        out.extend(packet_lines[index])
    for key in ("title", "artist", "author", "album", "genre", "comment", "date"):
        tag = probe["format"].get("tags", {}).get(key)
        if tag is not None:
            out.append("meta %s=%s" % (key, quote(tag)))
    for kind, lang, text in udta:
        out.append("udta %s lang=%s text=%s" % (quote_bytes(kind), lang, quote(text)))
    print("\n".join(out))


if __name__ == "__main__":
    main(sys.argv[1])
