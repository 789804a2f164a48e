#!/usr/bin/python3
"""Compares .reg files value for value: EXPECTED against the union of ACTUAL...

usage: regcompare.py [--absent-ok NAME=TEXT]... EXPECTED.reg ACTUAL.reg...

Reads regedit's exports (UTF-16 with a byte-order mark, or UTF-8; lines
continued with a backslash) and 3gpdemux regfile's output. Key and value
names compare without case, as the registry does. A key counts when it has
values or no subkeys: the keys in between are created by importing those, so
a file may list them or not. --absent-ok: an expected string value NAME equal
to TEXT that the actual files lack is not a difference (a registry that leaves
out a default). Prints each difference; exit status 1 if any.
"""
import sys


def read_text(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        return data.decode("utf-16")
    return data.decode("utf-8-sig")


def unquote(text, pos):
    """The quoted, backslash-escaped string at text[pos] == '"', and the position after it."""
    out, pos = [], pos + 1
    while text[pos] != '"':
        if text[pos] == "\\":
            pos += 1
        out.append(text[pos])
        pos += 1
    return "".join(out), pos + 1


def parse_data(data):
    """(type, bytes) of a value's data as .reg files write it."""
    if data.startswith('"'):
        return 1, (unquote(data, 0)[0] + "\0").encode("utf-16-le")
    if data.startswith("dword:"):
        return 4, int(data[6:], 16).to_bytes(4, "little")
    kind, _, hexes = data.partition(":")
    digits = bytes(int(h, 16) for h in hexes.replace(" ", "").split(",") if h)
    return (3 if kind == "hex" else int(kind[4:-1], 16)), digits


def parse(path):
    keys, key = {}, None
    lines = read_text(path).splitlines()
    i = 0
    while i < len(lines):
        line = lines[i].strip()
        while line.endswith("\\") and not line.endswith('"') and i + 1 < len(lines):
            i += 1
            line = line[:-1] + lines[i].strip()
        i += 1
        if not line or line.startswith(";") or line.startswith("Windows Registry") or line == "REGEDIT4":
            continue
        if line.startswith("["):
            key = line[1:-1].lower()
            keys.setdefault(key, {})
            continue
        if line.startswith("@="):
            name, data = "", line[2:]
        else:
            name, pos = unquote(line, 0)
            data = line[pos + 1:]
        keys[key][name.lower()] = parse_data(data)
    return keys


def significant(keys):
    return {k: v for k, v in keys.items() if v or not any(o.startswith(k + "\\") for o in keys)}


def main():
    args, absent_ok = sys.argv[1:], set()
    while len(args) >= 2 and args[0] == "--absent-ok":
        name, _, text = args[1].partition("=")
        absent_ok.add((name.lower(), parse_data(f'"{text}"')))
        args = args[2:]
    if len(args) < 2:
        sys.exit(__doc__)
    expected_path = args[0]
    expected = significant(parse(expected_path))
    actual = {}
    for path in args[1:]:
        actual.update(parse(path))
    actual = significant(actual)
    problems = []
    for key in sorted(set(expected) | set(actual)):
        if key not in actual:
            problems.append(f"only in {expected_path}: [{key}]")
        elif key not in expected:
            problems.append(f"missing from {expected_path}: [{key}]")
        else:
            for name in sorted(set(expected[key]) | set(actual[key])):
                want, got = expected[key].get(name), actual[key].get(name)
                if got is None and (name, want) in absent_ok:
                    continue
                if want != got:
                    problems.append(f"[{key}] {name or '@'}: {want} against {got}")
    for problem in problems:
        print(f"regcompare: {problem}")
    print(f"regcompare: {len(expected)} keys compared, {len(problems)} differences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
