#!/usr/bin/env python3
"""Builds Qiwa skin data (".SHE", version 1) from a readable key = value description.

Layout, little-endian; the library checks every field:
  0   4  magic ".SHE"
  4   2  version (1)
  6   2  header size (16)
  8   4  total length in bytes
  12  4  CRC-32 (zlib) of bytes 16..end
  16  1  colour count (16)
  17  1  button corner radius in pixels (0..12)
  18  1  flags: bit 0 flat buttons; other bits 0
  19  1  font size: em height in pixels (8..32)
  20  64 colours, in COLOURS order, each R, G, B, 0
  84  1  font face length in UTF-16 units (1..31)
  85  1  reserved (0)
  86  2n font face, UTF-16LE, no terminator
"""
import argparse
import struct
import sys
import zlib

MAGIC = b".SHE"
VERSION = 1
HEADER_SIZE = 16
COLOURS = (
    "window", "control", "text", "text_disabled", "accent",
    "button_face", "button_hover", "button_pressed", "button_border", "button_text",
    "header", "header_text", "row_alt", "selection", "selection_text", "edit_border",
)
MAX_RADIUS = 12
FONT_SIZES = range(8, 33)
MAX_FACE = 31


class SkinError(ValueError):
    pass


def parse_description(text):
    """Returns the key = value pairs of a description; '#' starts a comment line."""
    values = {}
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        key, sep, value = line.partition("=")
        key, value = key.strip(), value.strip()
        if not sep or not key:
            raise SkinError(f"line {number}: expected 'key = value'")
        if key in values:
            raise SkinError(f"line {number}: '{key}' given twice")
        values[key] = value
    return values


def parse_colour(key, value):
    if len(value) != 7 or value[0] != "#":
        raise SkinError(f"{key}: colour must be #RRGGBB, got '{value}'")
    try:
        return bytes.fromhex(value[1:])
    except ValueError:
        raise SkinError(f"{key}: colour must be #RRGGBB, got '{value}'") from None


def parse_int(key, value, allowed):
    try:
        number = int(value, 10)
    except ValueError:
        raise SkinError(f"{key}: not a number: '{value}'") from None
    if number not in allowed:
        raise SkinError(f"{key}: {number} outside {allowed.start}..{allowed.stop - 1}")
    return number


def parse_bool(key, value):
    if value.lower() in ("yes", "true", "1"):
        return True
    if value.lower() in ("no", "false", "0"):
        return False
    raise SkinError(f"{key}: expected yes or no, got '{value}'")


def build(values):
    """Returns the skin data bytes for a parsed description."""
    known = set(COLOURS) | {"version", "corner_radius", "flat", "font_face", "font_size"}
    unknown = sorted(set(values) - known)
    if unknown:
        raise SkinError(f"unknown keys: {', '.join(unknown)}")
    missing = [k for k in sorted(known) if k not in values]
    if missing:
        raise SkinError(f"missing keys: {', '.join(missing)}")
    if parse_int("version", values["version"], range(1, 2)) != VERSION:
        raise SkinError("only version 1 is known")
    radius = parse_int("corner_radius", values["corner_radius"], range(0, MAX_RADIUS + 1))
    flat = parse_bool("flat", values["flat"])
    size = parse_int("font_size", values["font_size"], FONT_SIZES)
    face = values["font_face"].encode("utf-16-le")
    units = len(face) // 2
    if not 1 <= units <= MAX_FACE:
        raise SkinError(f"font_face: 1..{MAX_FACE} characters")
    body = struct.pack("<BBBB", len(COLOURS), radius, 1 if flat else 0, size)
    body += b"".join(parse_colour(k, values[k]) + b"\0" for k in COLOURS)
    body += struct.pack("<BB", units, 0) + face
    total = HEADER_SIZE + len(body)
    header = MAGIC + struct.pack("<HHII", VERSION, HEADER_SIZE, total, zlib.crc32(body))
    return header + body


def break_checksum(data):
    """The same data with a wrong checksum: a build that must start unskinned."""
    crc = struct.unpack_from("<I", data, 12)[0] ^ 0xFFFFFFFF
    return data[:12] + struct.pack("<I", crc) + data[16:]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("description")
    parser.add_argument("output")
    parser.add_argument("--broken", action="store_true", help="write data with a wrong checksum")
    args = parser.parse_args(argv)
    try:
        with open(args.description, encoding="utf-8") as f:
            data = build(parse_description(f.read()))
    except (OSError, SkinError) as e:
        print(f"make_skin: {args.description}: {e}", file=sys.stderr)
        return 1
    if args.broken:
        data = break_checksum(data)
    with open(args.output, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
