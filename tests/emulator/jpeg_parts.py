"""JPEG pictures reshaped for multipart parts, written from the JPEG marker
layout (start of image FF D8, segments FF xx with a big-endian length that
counts itself). Standard library only; shares nothing with the library.

    compose(picture_bytes, spec, read) -> bytes

spec keys (beside "file"):
  "exif_thumbnail": file  an APP1 "Exif" segment right after the start of
                          image, whose TIFF block holds that JPEG as the
                          thumbnail (IFD1 with its offset and length)
  "pad_to": n             comment segments of zeros after the start of image
                          until the picture has at least n bytes
"""
import struct

SOI = b"\xff\xd8"
MAX_SEGMENT = 65535  # the length field counts itself and the payload


def segment(marker, payload):
    if len(payload) + 2 > MAX_SEGMENT:
        raise ValueError("segment payload of %d bytes is too long" % len(payload))
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def exif_segment(thumbnail):
    """APP1 with a little-endian TIFF block: IFD0 empty, IFD1 the thumbnail."""
    ifd0_at = 8
    ifd1_at = ifd0_at + 2 + 4
    thumb_at = ifd1_at + 2 + 2 * 12 + 4
    tiff = b"II*\x00" + struct.pack("<I", ifd0_at)
    tiff += struct.pack("<HI", 0, ifd1_at)
    tiff += struct.pack("<H", 2)
    tiff += struct.pack("<HHII", 0x0201, 4, 1, thumb_at)        # JPEGInterchangeFormat
    tiff += struct.pack("<HHII", 0x0202, 4, 1, len(thumbnail))  # ...Length
    tiff += struct.pack("<I", 0)
    return segment(0xE1, b"Exif\x00\x00" + tiff + thumbnail)


def padding(needed):
    out = b""
    while needed > 0:
        n = min(MAX_SEGMENT - 2, max(needed - 4, 0))
        out += segment(0xFE, b"\x00" * n)
        needed -= n + 4
    return out


def compose(picture, spec, read):
    """The picture with the segments spec asks for; read(name) gives a file's bytes."""
    if not picture.startswith(SOI):
        raise ValueError("not a JPEG picture")
    head, rest = picture[:2], picture[2:]
    if "exif_thumbnail" in spec:
        head += exif_segment(read(spec["exif_thumbnail"]))
    if "pad_to" in spec:
        head += padding(spec["pad_to"] - len(head) - len(rest))
    return head + rest
