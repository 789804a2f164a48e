#!/usr/bin/env python3
"""Rewrites an ffmpeg MP4/3GP (ftyp, free, mdat, moov) into the layout phone
recorders write: ftyp, then the media data with a 64-bit size, then moov. The
8-byte "free" box and the 8-byte "mdat" header become one 16-byte "mdat"
header, so no sample moves and the chunk offsets stay as they are.

usage: phonelayout.py IN OUT [--mdta]
  --mdta  also adds what a phone platform's muxer and vendors put in the movie
          box: moov/meta with an "mdta" handler, keys and their values, and
          vendor boxes in moov/udta (a location string and an opaque one).
"""
import struct
import sys


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack(">I", version << 24 | flags) + payload)


def top_boxes(data):
    at = 0
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if size < 8:
            raise ValueError("top-level box %r at %d has size %d" % (kind, at, size))
        yield kind, at, size
        at += size


def mdta_meta(keys):
    hdlr = full_box(b"hdlr", 0, 0, b"\0" * 4 + b"mdta" + b"\0" * 12 + b"\0")
    key_boxes = b"".join(box(b"mdta", name.encode()) for name, _ in keys)
    keys_box = full_box(b"keys", 0, 0, struct.pack(">I", len(keys)) + key_boxes)
    # Each item's type is the 1-based index of its key; values are UTF-8 text.
    items = b"".join(
        box(struct.pack(">I", i + 1), box(b"data", struct.pack(">II", 1, 0) + value.encode()))
        for i, (_, value) in enumerate(keys))
    return full_box(b"meta", 0, 0, hdlr + keys_box + box(b"ilst", items))


def vendor_udta():
    location = b"+48.8584+002.2945/"
    xyz = box(b"\xa9xyz", struct.pack(">HH", len(location), 0x15c7) + location)
    opaque = box(b"vndr", bytes(range(24)))
    return box(b"udta", xyz + opaque)


def with_phone_boxes(moov):
    children = moov[8:]
    kept = b""
    at = 0
    while at < len(children):
        size, kind = struct.unpack(">I4s", children[at:at + 8])
        if kind not in (b"udta", b"meta"):
            kept += children[at:at + size]
        at += size
    keys = [("com.android.version", "13"), ("com.android.capture.fps", "30.000000")]
    return box(b"moov", kept + vendor_udta() + mdta_meta(keys))


def main():
    src, dst = sys.argv[1], sys.argv[2]
    add_mdta = "--mdta" in sys.argv[3:]
    data = open(src, "rb").read()
    boxes = list(top_boxes(data))
    kinds = [kind for kind, _, _ in boxes]
    if kinds != [b"ftyp", b"free", b"mdat", b"moov"] or boxes[1][2] != 8:
        raise ValueError("%s: expected ftyp, an 8-byte free, mdat, moov; found %r" % (src, kinds))
    _, mdat_at, mdat_size = boxes[2]
    _, moov_at, moov_size = boxes[3]
    out = data[:boxes[1][1]]
    out += struct.pack(">I4sQ", 1, b"mdat", mdat_size + 8) + data[mdat_at + 8:mdat_at + mdat_size]
    moov = data[moov_at:moov_at + moov_size]
    out += with_phone_boxes(moov) if add_mdta else moov
    open(dst, "wb").write(out)


if __name__ == "__main__":
    main()
