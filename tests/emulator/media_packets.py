"""Media bodies for the emulated camera: "video/ACVS" and "audio/ACAS".

Generators for http_camera.py's body hook ({"generator":
"media_packets:acvs"} and {"generator": "media_packets:acas"}); the options
are in HTTP.md. Written from the packet layout the cameras use: every
packet is a 40-byte little-endian header and its payload, back to back.

    offset  0  magic        00 00 01 F5 (video) or 00 00 01 F6 (audio)
            4  u32 40       header length
            8  u32          payload length
           12  u32          sequence number
           16  u32, 20 u32  capture time: seconds, microseconds
           24  4 bytes      reserved (0)
           28  u16 x 4      audio only: format tag, channels, rate, bits
           36  4 bytes      reserved (0)

Video payloads are the units of an elementary stream made by ffmpeg: an
H.264 access unit (every NAL behind a 4-byte start code) or an MPEG-4 Part
2 picture (configuration headers travel with the picture they precede);
from an AVI file, its video chunks as the encoder packed them. Raw streams
send the same units without headers.
"""
import os
import struct
import time

VIDEO_MAGIC = b"\x00\x00\x01\xf5"
AUDIO_MAGIC = b"\x00\x00\x01\xf6"
HEADER = struct.Struct("<4sIIIIIIHHHHI")
assert HEADER.size == 40

FAULT_KEYS = {"drop", "seq", "seq_jump", "length", "length_delta", "magic_hex",
              "stray_hex", "payload_hex", "tag", "channels", "rate", "bits"}


def header(magic, length, seq, stamp, tag=0, channels=0, rate=0, bits=0):
    """The 40 header bytes; stamp is (seconds, microseconds)."""
    return HEADER.pack(magic, 40, length & 0xFFFFFFFF, seq & 0xFFFFFFFF,
                       stamp[0] & 0xFFFFFFFF, stamp[1], 0, tag, channels,
                       rate & 0xFFFF, bits, 0)


# ---------------------------------------------------------------- splitting

def start_codes(data):
    """(position of the 00 00 01 prefix, prefix length 3 or 4) in order."""
    out = []
    i = data.find(b"\x00\x00\x01")
    while i >= 0:
        if i > 0 and data[i - 1] == 0:
            out.append((i - 1, 4))
        else:
            out.append((i, 3))
        i = data.find(b"\x00\x00\x01", i + 3)
    return out


def nal_units(data):
    """(position of the start code, NAL bytes) of an Annex B stream."""
    codes = start_codes(data)
    out = []
    for k, (pos, plen) in enumerate(codes):
        end = codes[k + 1][0] if k + 1 < len(codes) else len(data)
        if end > pos + plen:
            out.append((pos, data[pos + plen:end]))
    return out


def h264_access_units(data):
    """Access units of an Annex B stream, as lists of (position, NAL)."""
    units, cur, has_slice = [], [], False
    for pos, nal in nal_units(data):
        kind = nal[0] & 0x1F
        first_mb_zero = kind in (1, 5) and len(nal) > 1 and nal[1] & 0x80
        starts = kind in (6, 7, 8, 9) or (14 <= kind <= 18) or first_mb_zero
        if has_slice and starts:
            units.append(cur)
            cur, has_slice = [], False
        cur.append((pos, nal))
        has_slice = has_slice or kind in (1, 5)
    if cur:
        units.append(cur)
    return units


def h264_units(data, framed, aud=False, lead=b""):
    """Framed payloads with a 4-byte start code before every NAL (and an
    access unit delimiter, or the lead NAL, first when asked); raw units as
    the stream has them, cut before each access unit."""
    aus = h264_access_units(data)
    if not framed:
        return cut_at([au[0][0] for au in aus], data)
    out = []
    first = ([b"\x09\xf0"] if aud else []) + ([lead] if lead else [])
    for au in aus:
        nals = first + [nal for _, nal in au]
        out.append(b"".join(b"\x00\x00\x00\x01" + n for n in nals))
    return out


def mpeg4_units(data):
    """MPEG-4 Part 2 pictures: a unit ends where the next picture, or the
    configuration before it, begins."""
    cuts, has_vop = [], False
    for pos, plen in start_codes(data):
        at = pos + plen
        if at >= len(data):
            break
        code = data[at]
        pos = at - 3  # MPEG-4 start codes have a 3-byte prefix
        if not cuts or (has_vop and (code in (0xB0, 0xB6) or code <= 0x1F)):
            cuts.append(pos)
            has_vop = False
        has_vop = has_vop or code == 0xB6
    return cut_at(cuts, data)


def avi_video_chunks(data):
    """The video chunks ("##dc", "##db") of an AVI file in file order: the
    units as the encoder packed them. Empty chunks (skipped pictures) are
    left out, as a camera sends nothing for them."""
    out = []

    def walk(i, end):
        while i + 8 <= end:
            cid = data[i:i + 4]
            size = struct.unpack("<I", data[i + 4:i + 8])[0]
            if cid in (b"RIFF", b"LIST"):
                walk(i + 12, min(end, i + 8 + size))
            elif cid[2:] in (b"dc", b"db") and size:
                out.append(data[i + 8:i + 8 + size])
            i += 8 + size + (size & 1)

    walk(0, len(data))
    return out


def cut_at(cuts, data):
    """data cut at the given positions (what precedes the first is lost)."""
    return [data[a:b] for a, b in zip(cuts, cuts[1:] + [len(data)])]


# ---------------------------------------------------------------- sending

def _read(args, ctx):
    path = os.path.join(ctx["base_dir"], args["file"])
    with open(path, "rb") as f:
        return f.read()


class Clock:
    """Pacing at a fixed step and the header time of each packet."""

    def __init__(self, step, stamp_base):
        self.step = step
        self.base = stamp_base
        self.start = time.monotonic()

    def wait(self, n):
        if self.step:
            due = self.start + n * self.step
            now = time.monotonic()
            if due > now:
                time.sleep(due - now)

    def stamp(self, n):
        if self.base is None:
            us = int(time.time() * 1e6)
        else:
            us = int(round(float(self.base) * 1e6 + n * self.step * 1e6))
        return divmod(us, 1000000)


class Gate:
    """Holds unit n back until the count a test writes into the file
    "held_by" (pictures its client has shown) is at least n - "slack": a
    camera no faster than its client, however loaded the machine."""

    def __init__(self, args, ctx):
        name = args.get("held_by")
        self.path = os.path.join(ctx["base_dir"], name) if name else None
        self.slack = int(args.get("slack", 20))
        self.timeout = float(args.get("held_timeout", 60))
        self.count = 0

    def _read(self):
        try:
            with open(self.path) as f:
                self.count = max(self.count, int(f.read().strip() or 0))
        except (OSError, ValueError):
            pass  # not written yet, or caught in mid-write

    def wait(self, n):
        if not self.path:
            return
        deadline = time.monotonic() + self.timeout
        while True:
            self._read()
            if self.count >= n - self.slack or time.monotonic() > deadline:
                return
            time.sleep(0.005)


def _faults(args):
    faults = {}
    for key, knobs in (args.get("faults") or {}).items():
        bad = set(knobs) - FAULT_KEYS
        if bad:
            raise ValueError("media fault keys not known: %s" % sorted(bad))
        faults[int(key)] = knobs
    return faults


def packets(units, args, magic, fmt=(0, 0, 0, 0), gate=None):
    """Framed packets of the units, with the faults applied; yields
    (index, bytes)."""
    faults = _faults(args)
    step = args.get("interval_ms", 0) / 1000.0
    if args.get("fps"):
        step = 1.0 / args["fps"]
    clock = Clock(step, args.get("stamp_base"))
    burst = int(args.get("first_burst", 0))
    seq = int(args.get("seq_start", 0))
    for n, payload in enumerate(units):
        f = faults.get(n, {})
        seq += int(f.get("seq_jump", 0))
        if gate:
            gate.wait(n)
        if n >= burst:
            clock.wait(n)
        if f.get("drop"):
            seq += 1
            continue
        if "payload_hex" in f:
            payload = bytes.fromhex(f["payload_hex"])
        length = f.get("length", len(payload) + int(f.get("length_delta", 0)))
        tag, channels, rate, bits = (f.get(k, v) for k, v in zip(
            ("tag", "channels", "rate", "bits"), fmt))
        head = header(bytes.fromhex(f["magic_hex"]) if "magic_hex" in f else magic,
                      length, f.get("seq", seq), clock.stamp(n),
                      tag, channels, rate, bits)
        stray = bytes.fromhex(f.get("stray_hex", ""))
        yield n, stray + head + payload
        seq += 1


def _bursting(pieces, args):
    """The first "first_burst" pieces as one chunk, then the rest."""
    burst = int(args.get("first_burst", 0))
    lead = []
    for piece in pieces:
        if len(lead) < burst:
            lead.append(piece)
            if len(lead) < burst:
                continue
            piece = b"".join(lead)
        yield piece
    if 0 < len(lead) < burst:
        yield b"".join(lead)


def _cycle(units, args):
    """The units from start_unit on, repeated when asked, at most count."""
    start = int(args.get("start_unit", 0)) % max(1, len(units))
    count = args.get("count")
    seq = units[start:] + (units[:start] if args.get("repeat") else [])
    n = 0
    while seq:
        for u in seq:
            if count is not None and n >= count:
                return
            yield u
            n += 1
        if not args.get("repeat"):
            return
        seq = units


def acvs(args, ctx):
    """Video: framed "video/ACVS" packets, or the raw stream with
    "framed": false."""
    data = _read(args, ctx)
    codec = args.get("codec") or (
        "mpeg4" if args["file"].endswith((".m4v", ".mp4v")) else "h264")
    framed = args.get("framed", True)
    if args["file"].endswith(".avi"):
        units = avi_video_chunks(data)
    elif codec == "h264":
        units = h264_units(data, framed, args.get("aud", False),
                           bytes.fromhex(args.get("lead_hex", "")))
    elif codec == "mpeg4":
        units = mpeg4_units(data)
    else:
        raise ValueError("codec must be h264 or mpeg4")
    source = _cycle(units, args)  # lazy: "repeat" has no end
    gate = Gate(args, ctx)
    if framed:
        pkts = (pkt for _, pkt in packets(source, args, VIDEO_MAGIC, gate=gate))
        yield from _bursting(pkts, args)
        yield from _trailer(args, VIDEO_MAGIC)
        return
    yield from _bursting(_raw_units(source, args, gate), args)
    yield from _trailer(args, VIDEO_MAGIC)


def _raw_units(source, args, gate):
    step = 1.0 / args["fps"] if args.get("fps") else 0
    clock = Clock(step, None)
    burst = int(args.get("first_burst", 0))
    for n, unit in enumerate(source):
        gate.wait(n)
        if n >= burst:
            clock.wait(n)
        yield unit


def _trailer(args, magic):
    """Bytes after the last packet: a reader holds a packet until the next
    magic, so "end_magic": true lets it cut the last one."""
    if args.get("end_magic"):
        yield magic
    if args.get("trailer_hex"):
        yield bytes.fromhex(args["trailer_hex"])


def adts_frames(data):
    """The frames of an ADTS (AAC) stream."""
    out, i = [], 0
    while i + 7 <= len(data) and data[i] == 0xFF and data[i + 1] & 0xF0 == 0xF0:
        size = ((data[i + 3] & 3) << 11) | (data[i + 4] << 3) | (data[i + 5] >> 5)
        if size < 7:
            break
        out.append(data[i:i + size])
        i += size
    return out


def wav_data(data):
    """The bytes of a WAV file's data chunk."""
    i = 12
    while i + 8 <= len(data):
        cid, size = data[i:i + 4], struct.unpack("<I", data[i + 4:i + 8])[0]
        if cid == b"data":
            return data[i + 8:i + 8 + size]
        i += 8 + size + (size & 1)
    raise ValueError("no data chunk in the WAV file")


def acas(args, ctx):
    """Audio: "audio/ACAS" packets of the file's bytes (or a pattern)."""
    if "file" in args:
        data = _read(args, ctx)
        if args.get("wav"):
            data = wav_data(data)
    else:
        data = bytes.fromhex(args.get("pattern_hex", "00")) * int(
            args.get("pattern_count", 1))
    split = args.get("split", "fixed")
    if split == "adts":
        units = adts_frames(data)
    elif split == "fixed":
        size = int(args.get("packet_bytes", 1024))
        units = [data[i:i + size] for i in range(0, len(data), size)]
    else:
        raise ValueError("split must be fixed or adts")
    fmt = (args.get("tag", 16), args.get("channels", 1), args.get("rate", 8000),
           args.get("bits", 16))
    pkts = (pkt for _, pkt in packets(_cycle(units, args), args, AUDIO_MAGIC, fmt))
    yield from _bursting(pkts, args)
    yield from _trailer(args, AUDIO_MAGIC)


acvs.content_type = lambda args: "video/ACVS" if args.get("framed", True) else None
acas.content_type = lambda args: "audio/ACAS"
