#!/usr/bin/env python3
"""Emulated IP cameras answering the LANDAP configuration protocol on UDP.

    landap_camera.py --config CONFIG.json [--log LOG.jsonl] [--ready FILE]

One process serves every camera of its configuration on 0.0.0.0:62976 and
0.0.0.0:62977; several processes may share a network namespace. Every request
received is logged as one JSON line. The configuration and the fault knobs are
described in README.md beside this file.

Standard library only; nothing here is shared with the library under test.
"""

import argparse
import base64
import binascii
import heapq
import json
import os
import select
import socket
import struct
import sys
import time
import traceback

LANDAP_PORT = 62976
TESSEL12_PORT = 62977
REQUEST_SIGNATURE = 0xFDFD
REPLY_SIGNATURE = 0xFEEE
REQUEST_MARKER = 0x7777
BROADCAST_MAC = b"\xff" * 6
MORE_FOLLOWS = 0xFFFF
STATIONS_PER_PAGE = 20
AUTH_SIZE = 128

# signature, sequence, command, MAC, IPv4 (network order), status, 1, body length
HEADER = struct.Struct("<HHH6s4sHHH")
assert HEADER.size == 22

CMD_GET_DEVICE_INFO = 0xA1
CMD_SET_CAMERA_SETTING = 0xA2
CMD_VERIFY_AUTHORIZATION = 0xA3
CMD_CHANGE_ADMIN_PASSWORD = 0xA4
CMD_GET_SUPPORTED_COMMAND = 0xA5
CMD_GET_ADV_NETWORK = 0xA6
CMD_SET_ADV_NETWORK = 0xA7
CMD_GET_WIRELESS = 0xA8
CMD_SET_WIRELESS = 0xA9
CMD_RESET = 0xAA
CMD_FACTORY_RESET = 0xAB
CMD_GET_DATETIME = 0xAC
CMD_SET_DATETIME = 0xAD
CMD_GET_SITE_SURVEY = 0xAE
CMD_GET_SIMPLE_WIRELESS = 0xAF
CMD_SET_SIMPLE_WIRELESS = 0xB0
CMD_INIT_SITE_SURVEY = 0xB1
CMD_GET_ASSOCIATED_STATUS = 0xB2
CMD_COMMIT = 0xC0
CMD_QUERY_NETWORK_STATUS = 0xC9
CMD_GET_TESSEL12_ENABLED = 0xD1
CMD_ENABLE_TESSEL12 = 0xD2
CMD_TESSEL12_PROC_STATE = 0x102
CMD_TESSEL12_URL = 0x105

TESSEL12_COMMANDS = {CMD_GET_TESSEL12_ENABLED, CMD_ENABLE_TESSEL12,
                     CMD_TESSEL12_PROC_STATE, CMD_TESSEL12_URL}
NO_AUTH_COMMANDS = {CMD_GET_DEVICE_INFO, CMD_GET_TESSEL12_ENABLED, CMD_TESSEL12_PROC_STATE}
# Commands answered with the 16-byte set result.
SET_COMMANDS = {CMD_SET_CAMERA_SETTING, CMD_CHANGE_ADMIN_PASSWORD, CMD_SET_ADV_NETWORK,
                CMD_SET_WIRELESS, CMD_RESET, CMD_FACTORY_RESET, CMD_SET_DATETIME,
                CMD_SET_SIMPLE_WIRELESS, CMD_INIT_SITE_SURVEY, CMD_COMMIT, CMD_ENABLE_TESSEL12}
ALL_COMMANDS = [0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC,
                0xAD, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2, 0xC0, 0xC9, 0xD1, 0xD2, 0x102, 0x105]


class ConfigError(Exception):
    pass


# ---------------------------------------------------------------------------
# Record layouts: (key, offset, kind, width). Kinds: text (NUL-padded, cut at
# the width), u8, s8, u16, u32 (little-endian), ip (dotted text, stored as the
# four address bytes), mac, nib (a little-endian word of 4-bit fields, key is a
# tuple of names from bit 0 up).

class Layout:
    def __init__(self, name, size, fields):
        self.name = name
        self.size = size
        self.fields = fields
        self.keys = set()
        for key, offset, kind, width in fields:
            assert offset + width <= size, (name, key)
            if kind == "nib":
                self.keys.update(key)
            else:
                self.keys.add(key)

    def build(self, values, defaults=None):
        """A record from a dict, or from a hex text of raw bytes."""
        buf = bytearray(self.size)
        if isinstance(values, str):
            try:
                raw = bytes.fromhex(values)
            except ValueError as e:
                raise ConfigError("%s: bad hex: %s" % (self.name, e))
            buf[:len(raw[:self.size])] = raw[:self.size]
            return buf
        merged = dict(defaults or {})
        merged.update(values or {})
        unknown = set(merged) - self.keys
        if unknown:
            raise ConfigError("%s: unknown fields %s" % (self.name, sorted(unknown)))
        for key, offset, kind, width in self.fields:
            if kind == "nib":
                word = 0
                for i, sub in enumerate(key):
                    word |= (int(merged.get(sub, 0)) & 0xF) << (4 * i)
                buf[offset:offset + width] = word.to_bytes(width, "little")
            elif key in merged:
                put_field(buf, offset, kind, width, merged[key], self.name + "." + key)
        return buf

    def fill_texts(self, buf, base=0):
        """Every text field filled to its full width, with no NUL."""
        for key, offset, kind, width in self.fields:
            if kind != "text":
                continue
            start = base + offset
            cur = bytes(buf[start:start + width]).split(b"\0", 1)[0]
            buf[start:start + width] = (cur + b"#" * width)[:width]


def put_field(buf, offset, kind, width, value, what):
    try:
        if kind == "text":
            raw = value.encode("utf-8") if isinstance(value, str) else bytes.fromhex(value["hex"])
            buf[offset:offset + width] = raw[:width].ljust(width, b"\0")
        elif kind in ("u8", "u16", "u32"):
            v = int(value) if not isinstance(value, bool) else int(value)
            buf[offset:offset + width] = (v & ((1 << (8 * width)) - 1)).to_bytes(width, "little")
        elif kind == "s8":
            buf[offset] = int(value) & 0xFF
        elif kind == "ip":
            buf[offset:offset + 4] = ip_bytes(value)
        elif kind == "mac":
            buf[offset:offset + 6] = mac_bytes(value)
        else:
            raise ConfigError("unknown kind " + kind)
    except (TypeError, ValueError, KeyError, OSError) as e:
        raise ConfigError("%s: bad value %r: %s" % (what, value, e))


def ip_bytes(value):
    """Dotted text as four address bytes; an int is the field's little-endian u32."""
    if isinstance(value, int):
        return (value & 0xFFFFFFFF).to_bytes(4, "little")
    if value == "":
        return b"\0\0\0\0"
    return socket.inet_aton(value)


def mac_bytes(text):
    parts = text.split(":")
    if len(parts) != 6:
        raise ValueError("a MAC has six parts")
    return bytes(int(p, 16) for p in parts)


def mac_text(raw):
    return ":".join("%02x" % b for b in raw)


BASIC_SET = Layout("basic_set", 89, [
    ("camera_name", 0, "text", 64), ("ip", 64, "ip", 4), ("web_port", 68, "u16", 2),
    ("flags", 70, "u8", 1), ("customized_dns", 71, "u8", 1), ("mask", 72, "ip", 4),
    ("gateway", 76, "ip", 4), ("dns1", 80, "ip", 4), ("dns2", 84, "ip", 4),
    ("dhcp", 88, "u8", 1)])

DEVICE_INFO = Layout("device_info", 312, [
    ("brand", 0, "text", 64), ("product", 64, "text", 64), ("model", 128, "text", 32),
    ("firmware", 160, "text", 32), ("product_type", 192, "u16", 2),
    ("hw_spec", 194, "u32", 4), ("mac", 198, "mac", 6),
    ("time", 293, "text", 16), ("timezone", 309, "u16", 2), ("dst", 311, "u8", 1)])
BASIC_OFFSET = 204
TIME_OFFSET = 293

WIRELESS = Layout("wireless", 238, [
    ("enable", 0, "u8", 1), ("channel", 1, "u8", 1), ("ssid", 2, "text", 36),
    (("mode", "encryption", "authentication", "wep_key_len", "wep_key_format",
      "wep_def_key", "tx_rate"), 38, "nib", 4),
    ("wep_key1", 42, "text", 32), ("wep_key2", 74, "text", 32),
    ("wep_key3", 106, "text", 32), ("wep_key4", 138, "text", 32),
    ("wpa_key", 170, "text", 68)])

CAPABILITY = Layout("capability", 14, [
    ("channels", 0, "u32", 4), ("modes", 4, "u8", 1), ("encryptions", 5, "u8", 1),
    ("authentications", 6, "u8", 1), ("b7", 7, "u8", 1), ("b8", 8, "u8", 1),
    ("b9", 9, "u8", 1), ("u32_10", 10, "u32", 4)])

ADV_NETWORK = Layout("adv_network", 324, [
    ("pppoe_set", 0, "u8", 1), ("pppoe_uid", 1, "text", 64), ("pppoe_pwd", 65, "text", 64),
    ("features", 129, "u8", 1), ("set_mask", 130, "u8", 1), ("ddns_index", 131, "u8", 1),
    ("ddns_uid", 132, "text", 64), ("ddns_pwd", 196, "text", 64),
    ("ddns_server", 260, "text", 64)])
DDNS_LIST_WIDTH = 200

DATETIME = Layout("datetime", 100, [
    ("time", 0, "text", 16), ("u16_16", 16, "u16", 2), ("b18", 18, "u8", 1),
    ("b19", 19, "u8", 1), ("text20", 20, "text", 64)])

SIMPLE_WIRELESS = Layout("simple_wireless", 108, [
    ("b0", 0, "u8", 1), ("ssid", 1, "text", 36), ("b37", 37, "s8", 1), ("b38", 38, "u8", 1),
    ("b39", 39, "u8", 1), ("b40", 40, "u8", 1), ("key", 41, "text", 67)])

ASSOCIATED_STATUS = Layout("associated_status", 44, [
    ("u32_0", 0, "u32", 4), ("u32_4", 4, "u32", 4), ("ssid", 8, "text", 36)])

NETWORK_STATUS = Layout("network_status", 20, [
    ("u32_0", 0, "u32", 4), ("addr4", 4, "ip", 4), ("u32_8", 8, "u32", 4),
    ("addr12", 12, "ip", 4), ("u32_16", 16, "u32", 4)])

STATION = Layout("station", 36, [
    ("ssid", 0, "text", 33), ("signal", 33, "u8", 1),
    (("mode", "encryption", "authentication", "channel"), 34, "nib", 2)])

TESSEL12_URL = Layout("tessel12_url", 64, [("url", 0, "text", 64)])

# Which layout describes the reply body of each get, for the full-width knob.
REPLY_LAYOUTS = {
    CMD_GET_WIRELESS: [(WIRELESS, 0)],
    CMD_GET_ADV_NETWORK: [(ADV_NETWORK, 0)],
    CMD_GET_DATETIME: [(DATETIME, 0)],
    CMD_GET_SIMPLE_WIRELESS: [(SIMPLE_WIRELESS, 0)],
    CMD_GET_ASSOCIATED_STATUS: [(ASSOCIATED_STATUS, 0)],
    CMD_TESSEL12_URL: [(TESSEL12_URL, 0)],
}

# ---------------------------------------------------------------------------
# Fault knobs. Camera-level "faults" apply to every command; "command_faults"
# (keyed by command code, or "discovery"/"refresh" for the two uses of 0xA1)
# override them; "page_faults" inside a 0xAE entry override per page index.

KNOBS = {
    "silent", "silent_while", "drop_first", "only_status", "delay_ms", "status", "error_code",
    "wait_ms", "result_value", "verdict", "auth_fail_status", "wrong_seq", "stale_seq",
    "wrong_mac", "signature", "command", "body_len", "body_size", "body_hex", "truncate",
    "duplicates", "junk", "junk_hex", "flood", "full_width", "endless_pages",
    "page_interval_ms", "page_faults", "broadcast_reply",
}
FLOOD_KEYS = {"mac", "interval_ms", "duration_ms", "reply"}
FLOOD_MAX_MS = 60000
ENDLESS_PAGES_DEFAULT = 1000
ENDLESS_PAGES_MAX = 100000
SEND_RETRIES = 200
ECHO_SECONDS = 5.0
DEFAULT_JUNK = bytes(range(0x30, 0x30 + 21))  # 21 bytes, shorter than any header


def check_knobs(knobs, where):
    if not isinstance(knobs, dict):
        raise ConfigError("%s: knobs must be an object" % where)
    unknown = set(knobs) - KNOBS
    if unknown:
        raise ConfigError("%s: unknown knobs %s" % (where, sorted(unknown)))
    flood = knobs.get("flood")
    if flood is not None:
        if not isinstance(flood, dict) or set(flood) - FLOOD_KEYS:
            raise ConfigError("%s: flood takes %s" % (where, sorted(FLOOD_KEYS)))
    if "silent_while" in knobs and not isinstance(knobs["silent_while"], str):
        raise ConfigError("%s: silent_while takes a file path" % where)
    for page, sub in knobs.get("page_faults", {}).items():
        int(page)
        check_knobs(sub, "%s page %s" % (where, page))


def command_key(text):
    if text in ("discovery", "refresh"):
        return text
    try:
        return int(text, 0)
    except ValueError:
        raise ConfigError("bad command key %r" % text)


# ---------------------------------------------------------------------------

def decode_auth_half(half):
    """The value a 64-byte Base64 half carries, or None when it is not Base64."""
    text = bytes(half).split(b"\0", 1)[0]
    try:
        return base64.b64decode(text, validate=True)
    except (binascii.Error, ValueError):
        return None


def auth_expected(value):
    # A half holds at most 64 Base64 characters, which carry 48 bytes.
    return value.encode("utf-8")[:48]


def local_time_text():
    return time.strftime("%Y%m%d%H%M%S", time.localtime()).encode()


class Record:
    """A setting with a committed value and a pending one written but not yet committed."""

    def __init__(self, raw):
        self.initial = bytes(raw)
        self.committed = bytearray(raw)
        self.pending = None

    def current(self):
        return self.pending if self.pending is not None else self.committed

    def commit(self):
        if self.pending is not None:
            self.committed = self.pending
            self.pending = None

    def discard(self):
        self.pending = None

    def factory(self):
        self.committed = bytearray(self.initial)
        self.pending = None


CAMERA_KEYS = {
    "mac", "model", "brand", "product", "firmware", "product_type", "hw_spec",
    "camera_name", "ip", "mask", "gateway", "dns1", "dns2", "dhcp", "web_port", "flags",
    "customized_dns", "time", "timezone", "dst", "user", "password",
    "device_info_hex", "wireless", "capability", "adv_network", "ddns_providers",
    "ddns_list", "ddns_list_len", "datetime", "simple_wireless", "associated_status",
    "network_status", "stations", "survey_requires_init", "supported_commands",
    "tessel12", "faults", "command_faults", "broadcast_reply", "credentials_file",
}
TESSEL12_KEYS = {"enabled", "states", "url"}


class Camera:
    def __init__(self, cfg, server):
        unknown = set(cfg) - CAMERA_KEYS
        if unknown:
            raise ConfigError("camera: unknown keys %s" % sorted(unknown))
        if "mac" not in cfg or "ip" not in cfg:
            raise ConfigError("camera: mac and ip are required")
        self.server = server
        self.cfg = cfg
        self.mac = mac_bytes(cfg["mac"])
        self.name = mac_text(self.mac)
        self.broadcast_reply = bool(cfg.get("broadcast_reply", server.broadcast_reply))

        self.faults = cfg.get("faults", {})
        check_knobs(self.faults, self.name)
        self.command_faults = {}
        for key, knobs in cfg.get("command_faults", {}).items():
            check_knobs(knobs, "%s %s" % (self.name, key))
            self.command_faults[command_key(key)] = knobs
        self.counts = {}
        self.build_state()

    def build_state(self):
        """Everything that a factory reset restores."""
        cfg = self.cfg
        self.user = cfg.get("user", "admin")
        self.password = cfg.get("password", "")

        if "device_info_hex" in cfg:
            info = DEVICE_INFO.build(cfg["device_info_hex"])
            basic = info[BASIC_OFFSET:BASIC_OFFSET + BASIC_SET.size]
        else:
            info = DEVICE_INFO.build({
                "brand": cfg.get("brand", "Rilo"),
                "product": cfg.get("product", "Emulated network camera"),
                "model": cfg.get("model", "RC-100"),
                "firmware": cfg.get("firmware", "1.0.0"),
                "product_type": cfg.get("product_type", 1),
                "hw_spec": cfg.get("hw_spec", 0),
                "mac": cfg["mac"],
                "timezone": cfg.get("timezone", 0),
                "dst": cfg.get("dst", 0),
            })
            basic = BASIC_SET.build({
                "camera_name": cfg.get("camera_name", "Camera"),
                "ip": cfg["ip"],
                "web_port": cfg.get("web_port", 80),
                "flags": cfg.get("flags", 0),
                "customized_dns": cfg.get("customized_dns", 0),
                "mask": cfg.get("mask", "255.255.255.0"),
                "gateway": cfg.get("gateway", ""),
                "dns1": cfg.get("dns1", ""),
                "dns2": cfg.get("dns2", ""),
                "dhcp": 1 if cfg.get("dhcp", False) else 0,
            })
        self.device_info = info      # everything but the basic setting and the clock
        self.basic = Record(basic)
        # A configured clock stands still so tests can expect its text; without
        # one the camera reports the host's local time.
        self.clock = None
        if cfg.get("time") is not None:
            self.clock = bytes(cfg["time"].encode()[:16].ljust(16, b"\0"))
        elif "device_info_hex" in cfg:
            self.clock = bytes(info[TIME_OFFSET:TIME_OFFSET + 16])

        self.wireless = Record(WIRELESS.build(cfg.get("wireless", {})))
        self.capability = CAPABILITY.build(cfg.get("capability", {}), {
            "channels": 0x3FFE, "modes": 0x03, "encryptions": 0x1F, "authentications": 0x3F})
        self.adv_network = Record(ADV_NETWORK.build(cfg.get("adv_network", {})))
        if "ddns_list" in cfg:
            ddns = cfg["ddns_list"].encode("utf-8")
        else:
            ddns = ";".join(cfg.get("ddns_providers", ["DDNS-One", "DDNS-Two"])).encode("utf-8")
        self.ddns_list = ddns[:DDNS_LIST_WIDTH]
        self.ddns_list_len = cfg.get("ddns_list_len")
        self.datetime = DATETIME.build(cfg.get("datetime", {}))
        self.simple_wireless = Record(SIMPLE_WIRELESS.build(cfg.get("simple_wireless", {})))
        self.associated_status = ASSOCIATED_STATUS.build(cfg.get("associated_status", {}))
        self.network_status = NETWORK_STATUS.build(cfg.get("network_status", {}), {
            "addr4": cfg["ip"] if isinstance(cfg["ip"], str) else "",
            "addr12": cfg.get("gateway", "")})
        stations = cfg.get("stations", [])
        if isinstance(stations, int):
            stations = [{"ssid": "AP-%02d" % (i + 1), "signal": 100 - i % 100,
                         "mode": i % 3, "encryption": i % 5, "authentication": i % 6,
                         "channel": 1 + i % 13} for i in range(stations)]
        self.stations = [STATION.build(s) for s in stations]
        self.survey_requires_init = bool(cfg.get("survey_requires_init", False))
        self.survey_done = False
        self.supported = [int(c, 0) if isinstance(c, str) else int(c)
                          for c in cfg.get("supported_commands", ALL_COMMANDS)]
        t12 = cfg.get("tessel12", {})
        if set(t12) - TESSEL12_KEYS:
            raise ConfigError("tessel12 takes %s" % sorted(TESSEL12_KEYS))
        self.t12_enable = bytearray(16)
        self.t12_enable[0] = 1 if t12.get("enabled", False) else 0
        self.t12_states = [tuple(int(v) for v in s) + (0, 0, 0)
                           for s in t12.get("states", [[0, 0, 0]])] or [(0, 0, 0)]
        self.t12_state_index = 0
        self.t12_url = TESSEL12_URL.build({"url": t12.get("url", "")})
        self.publish_credentials()

    def publish_credentials(self):
        """Writes user and password to credentials_file, where the camera's
        HTTP side (http_camera.py) reads them, so that both sides of one
        camera keep one password. Replaced whole, never seen half written."""
        path = self.cfg.get("credentials_file")
        if not path:
            return
        tmp = path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump({"user": self.user, "password": self.password}, f)
        os.replace(tmp, path)

    # -- the records as the camera reports them ----------------------------

    def clock_text(self):
        return self.clock if self.clock is not None else local_time_text().ljust(16, b"\0")

    def running_ip(self):
        return bytes(self.basic.committed[64:68])

    def device_info_body(self, full_width):
        info = bytearray(self.device_info)
        info[BASIC_OFFSET:BASIC_OFFSET + BASIC_SET.size] = self.basic.committed
        info[TIME_OFFSET:TIME_OFFSET + 16] = self.clock_text()
        if full_width:
            DEVICE_INFO.fill_texts(info)
            BASIC_SET.fill_texts(info, BASIC_OFFSET)
        return info

    # -- request handling --------------------------------------------------

    def knobs_for(self, kind, command):
        knobs = dict(self.faults)
        knobs.update(self.command_faults.get(command, {}))
        if kind != command:
            knobs.update(self.command_faults.get(kind, {}))
        return knobs

    def auth_ok(self, body):
        if len(body) < AUTH_SIZE:
            return False
        return (decode_auth_half(body[0:64]) == auth_expected(self.user) and
                decode_auth_half(body[64:128]) == auth_expected(self.password))

    def handle(self, port, hdr, body, addr, now):
        command, target = hdr["command"], hdr["mac"]
        if command == CMD_GET_DEVICE_INFO:
            kind = "discovery" if target == BROADCAST_MAC else "refresh"
        else:
            kind = command
        self.counts[kind] = self.counts.get(kind, 0) + 1
        knobs = self.knobs_for(kind, command)

        wanted_port = TESSEL12_PORT if command in TESSEL12_COMMANDS else LANDAP_PORT
        if port != wanted_port or knobs.get("silent"):
            return
        if "silent_while" in knobs and os.path.exists(knobs["silent_while"]):
            return
        if self.counts[kind] <= int(knobs.get("drop_first", 0)):
            return
        if "only_status" in knobs and hdr["status"] != int(knobs["only_status"]):
            return

        after = []
        status, bodies = self.execute(command, body, knobs, after)
        if status is None:
            return
        self.server.schedule_replies(self, hdr, addr, status, bodies, knobs, now)
        for action in after:
            action()

    def set_result(self, knobs):
        return struct.pack("<IIII", 0, int(knobs.get("result_value", 0)) & 0xFFFFFFFF,
                           int(knobs.get("wait_ms", 0)) & 0xFFFFFFFF, 0)

    def execute(self, command, body, knobs, after):
        """(status, [reply bodies]) for one request; status None: no answer."""
        full = bool(knobs.get("full_width"))
        is_set = command in SET_COMMANDS
        if command not in NO_AUTH_COMMANDS and not self.auth_ok(body):
            status = int(knobs.get("auth_fail_status", 2 if is_set else 4))
            return status, [bytes(16) if is_set else b""]

        def record(layout, rec):
            # A set whose record is cut short changes nothing.
            raw = body[AUTH_SIZE:AUTH_SIZE + layout.size]
            if len(raw) < layout.size:
                return False
            rec.pending = bytearray(raw)
            return True

        ok = True
        if command == CMD_GET_DEVICE_INFO:
            return 0, [self.device_info_body(full)]
        elif command == CMD_VERIFY_AUTHORIZATION:
            return 0, [struct.pack("<I", int(knobs.get("verdict", 1)) & 0xFFFFFFFF)]
        elif command == CMD_SET_CAMERA_SETTING:
            ok = record(BASIC_SET, self.basic)
        elif command == CMD_CHANGE_ADMIN_PASSWORD:
            user = decode_auth_half(body[128:192]) if len(body) >= 256 else None
            password = decode_auth_half(body[192:256]) if len(body) >= 256 else None
            ok = user is not None and password is not None
            if ok:
                def change():
                    self.user = user.decode("utf-8", "replace")
                    self.password = password.decode("utf-8", "replace")
                    self.publish_credentials()
                after.append(change)
        elif command == CMD_GET_SUPPORTED_COMMAND:
            return 0, [b"".join(struct.pack("<H", c & 0xFFFF) for c in self.supported)]
        elif command == CMD_GET_ADV_NETWORK:
            pack = bytearray(self.adv_network.current())
            length = len(self.ddns_list) if self.ddns_list_len is None else self.ddns_list_len
            pack.append(int(length) & 0xFF)
            pack += self.ddns_list.ljust(DDNS_LIST_WIDTH, b"\0")
            if full:
                ADV_NETWORK.fill_texts(pack)
            return 0, [pack]
        elif command == CMD_SET_ADV_NETWORK:
            ok = record(ADV_NETWORK, self.adv_network)
        elif command == CMD_GET_WIRELESS:
            pack = bytearray(self.wireless.current()) + self.capability
            if full:
                WIRELESS.fill_texts(pack)
            return 0, [pack]
        elif command == CMD_SET_WIRELESS:
            ok = record(WIRELESS, self.wireless)
        elif command == CMD_RESET:
            after.append(self.restart)
        elif command == CMD_FACTORY_RESET:
            after.append(self.build_state)
        elif command == CMD_GET_DATETIME:
            rec = bytearray(self.datetime)
            rec[0:16] = self.clock_text()
            if full:
                DATETIME.fill_texts(rec)
            return 0, [rec]
        elif command == CMD_SET_DATETIME:
            raw = body[AUTH_SIZE:AUTH_SIZE + DATETIME.size]
            ok = len(raw) == DATETIME.size
            if ok:
                self.clock = bytes(raw[0:16])
                self.datetime = bytearray(raw)
        elif command == CMD_GET_SITE_SURVEY:
            return 0, self.survey_pages(knobs, full)
        elif command == CMD_GET_SIMPLE_WIRELESS:
            rec = bytearray(self.simple_wireless.current())
            if full:
                SIMPLE_WIRELESS.fill_texts(rec)
            return 0, [rec]
        elif command == CMD_SET_SIMPLE_WIRELESS:
            ok = record(SIMPLE_WIRELESS, self.simple_wireless)
        elif command == CMD_INIT_SITE_SURVEY:
            self.survey_done = True
        elif command == CMD_GET_ASSOCIATED_STATUS:
            rec = bytearray(self.associated_status)
            if full:
                ASSOCIATED_STATUS.fill_texts(rec)
            return 0, [rec]
        elif command == CMD_COMMIT:
            after.append(self.commit)
        elif command == CMD_QUERY_NETWORK_STATUS:
            return 0, [bytes(self.network_status)]
        elif command == CMD_GET_TESSEL12_ENABLED:
            return 0, [bytes(self.t12_enable)]
        elif command == CMD_ENABLE_TESSEL12:
            raw = body[AUTH_SIZE:AUTH_SIZE + 16]
            ok = len(raw) == 16
            if ok:
                self.t12_enable = bytearray(raw)
                self.t12_state_index = 0
        elif command == CMD_TESSEL12_PROC_STATE:
            state = self.t12_states[min(self.t12_state_index, len(self.t12_states) - 1)]
            self.t12_state_index += 1
            return 0, [struct.pack("<IIII", state[0] & 0xFFFFFFFF, state[1] & 0xFFFFFFFF,
                                   state[2] & 0xFFFFFFFF, 0)]
        elif command == CMD_TESSEL12_URL:
            rec = bytearray(self.t12_url)
            if full:
                TESSEL12_URL.fill_texts(rec)
            return 0, [rec]
        else:
            # Unknown to this camera: refused, nothing more.
            return 1, [b""]
        if not ok:
            return 1, [bytes(16)]
        return 0, [self.set_result(knobs)]

    def survey_pages(self, knobs, full):
        stations = self.stations if (self.survey_done or not self.survey_requires_init) else []
        if full:
            stations = [bytearray(s) for s in stations]
            for s in stations:
                STATION.fill_texts(s)
        endless = knobs.get("endless_pages")
        if endless:
            count = ENDLESS_PAGES_DEFAULT if endless is True else int(endless)
            count = max(1, min(count, ENDLESS_PAGES_MAX))
        else:
            count = max(1, -(-len(stations) // STATIONS_PER_PAGE))
        pages = []
        for i in range(count):
            if endless and stations:
                chunk = [stations[(i * STATIONS_PER_PAGE + j) % len(stations)]
                         for j in range(STATIONS_PER_PAGE)]
            else:
                chunk = stations[i * STATIONS_PER_PAGE:(i + 1) * STATIONS_PER_PAGE]
            more = bool(endless) or i + 1 < count
            pages.append(b"".join(bytes(s) for s in chunk) +
                         struct.pack("<HH", len(chunk), MORE_FOLLOWS if more else 0))
        return pages

    def commit(self):
        for rec in (self.basic, self.wireless, self.adv_network, self.simple_wireless):
            rec.commit()

    def restart(self):
        for rec in (self.basic, self.wireless, self.adv_network, self.simple_wireless):
            rec.discard()
        self.survey_done = False


# ---------------------------------------------------------------------------

class Server:
    def __init__(self, cfg, log, bind_addr="0.0.0.0"):
        if isinstance(cfg, list):
            cfg = {"cameras": cfg}
        unknown = set(cfg) - {"cameras", "broadcast_reply"}
        if unknown:
            raise ConfigError("unknown top-level keys %s" % sorted(unknown))
        self.broadcast_reply = bool(cfg.get("broadcast_reply", False))
        self.cameras = [Camera(c, self) for c in cfg.get("cameras", [])]
        if not self.cameras:
            raise ConfigError("no cameras configured")
        self.log = log
        self.timers = []
        self.timer_seq = 0
        self.sent = {}          # recently broadcast datagrams, so their echo is not logged
        self.next_prune = 0.0
        self.socks = {}
        for port in (LANDAP_PORT, TESSEL12_PORT):
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
            s.bind((bind_addr, port))
            s.setblocking(False)
            self.socks[port] = s

    # -- timers --------------------------------------------------------------

    def at(self, when, action):
        self.timer_seq += 1
        heapq.heappush(self.timers, (when, self.timer_seq, action))

    def run_due(self):
        now = time.monotonic()
        while self.timers and self.timers[0][0] <= now:
            _, _, action = heapq.heappop(self.timers)
            action()

    # -- sending -------------------------------------------------------------

    def send(self, port, data, dest, tries=SEND_RETRIES):
        if dest[0] == "255.255.255.255":
            self.sent[bytes(data)] = time.monotonic() + ECHO_SECONDS
        try:
            self.socks[port].sendto(data, dest)
            self.log_entry("reply", time.monotonic(), "", port, dest, data)
        except BlockingIOError:
            # Bursts of pages can fill the send buffer; try again shortly.
            if tries > 0:
                self.at(time.monotonic() + 0.001,
                        lambda: self.send(port, data, dest, tries - 1))
        except OSError as e:
            self.log_entry("send_error", time.monotonic(), "", port, dest, data)
            print("landap_camera: send to %s:%d failed: %s" % (dest[0], dest[1], e),
                  file=sys.stderr)

    def reply_datagram(self, cam, hdr, status, body, knobs, mac=None):
        if "error_code" in knobs:
            body = struct.pack("<I", int(knobs["error_code"]) & 0xFFFFFFFF)
        if "body_hex" in knobs:
            body = bytes.fromhex(knobs["body_hex"])
        if "body_size" in knobs:
            size = max(0, int(knobs["body_size"]))
            body = bytes(body[:size]).ljust(size, b"\0")
        status = int(knobs.get("status", status))
        seq = hdr["seq"]
        if knobs.get("wrong_seq"):
            seq += 1
        if "stale_seq" in knobs:
            seq -= int(knobs["stale_seq"])
        if mac is None:
            mac = cam.mac
            wrong = knobs.get("wrong_mac")
            if isinstance(wrong, str):
                mac = mac_bytes(wrong)
            elif wrong:
                mac = mac[:5] + bytes([mac[5] ^ 0x80])
        body_len = int(knobs.get("body_len", len(body)))
        data = HEADER.pack(int(knobs.get("signature", REPLY_SIGNATURE)) & 0xFFFF,
                           seq & 0xFFFF, int(knobs.get("command", hdr["command"])) & 0xFFFF,
                           mac, cam.running_ip(), status & 0xFFFF, 1,
                           body_len & 0xFFFF) + bytes(body)
        if "truncate" in knobs:
            data = data[:max(0, int(knobs["truncate"]))]
        return data

    def schedule_replies(self, cam, hdr, addr, status, bodies, knobs, now):
        port = TESSEL12_PORT if hdr["command"] in TESSEL12_COMMANDS else LANDAP_PORT
        broadcast = bool(knobs.get("broadcast_reply", cam.broadcast_reply))
        dest = ("255.255.255.255" if broadcast else addr[0], addr[1])
        when = now + float(knobs.get("delay_ms", 0)) / 1000.0
        interval = float(knobs.get("page_interval_ms", 0)) / 1000.0
        page_faults = knobs.get("page_faults", {})
        flood = knobs.get("flood")
        for i, body in enumerate(bodies):
            k = dict(knobs)
            k.update(page_faults.get(str(i), {}))
            if k.get("silent"):
                continue
            out = []
            junk = bytes.fromhex(k["junk_hex"]) if "junk_hex" in k else DEFAULT_JUNK
            out += [junk] * int(k.get("junk", 0))
            if not flood or flood.get("reply", False):
                reply = self.reply_datagram(cam, hdr, status, body, k)
                out += [reply] * (1 + int(k.get("duplicates", 0)))
            if flood:
                self.schedule_flood(port, self.reply_datagram(
                    cam, hdr, status, body, k,
                    mac=mac_bytes(flood.get("mac", "02:00:5e:ee:ee:01"))), dest, when, flood)
            for data in out:
                self.at(when, lambda d=data: self.send(port, d, dest))
            when += interval

    def schedule_flood(self, port, data, dest, start, flood):
        interval = max(1.0, float(flood.get("interval_ms", 20))) / 1000.0
        duration = min(float(flood.get("duration_ms", 3000)), FLOOD_MAX_MS) / 1000.0
        t = start
        while t <= start + duration:
            self.at(t, lambda: self.send(port, data, dest))
            t += interval

    # -- receiving -----------------------------------------------------------

    def write_log(self, now, camera, port, addr, data):
        self.log_entry("request", now, camera, port, addr, data)

    # A request names its sender in "from"; a reply (or a send that failed)
    # its destination, so that a log shows whether and when a camera answered.
    def log_entry(self, kind, now, camera, port, peer, data):
        if self.log is None:
            return
        self.log.write(json.dumps({"time": round(now, 6), "kind": kind, "camera": camera,
                                   "port": port, "from": peer[0], "from_port": peer[1],
                                   "hex": data.hex()}) + "\n")
        self.log.flush()

    def on_datagram(self, port, data, addr):
        now = time.monotonic()
        if self.sent:
            if now >= self.next_prune:
                self.sent = {d: t for d, t in self.sent.items() if t > now}
                self.next_prune = now + 1.0
            if data in self.sent:
                return  # our own broadcast reply coming back
        if len(data) >= 2 and struct.unpack_from("<H", data)[0] == REPLY_SIGNATURE:
            return      # another camera's reply, not a request
        hdr = None
        if len(data) >= HEADER.size:
            sig, seq, command, mac, ip, status, one, body_len = HEADER.unpack_from(data)
            if sig == REQUEST_SIGNATURE:
                hdr = {"seq": seq, "command": command, "mac": mac, "ip": ip,
                       "status": status, "one": one, "body_len": body_len}
        targets = []
        if hdr is not None:
            if hdr["command"] == CMD_GET_DEVICE_INFO and hdr["mac"] == BROADCAST_MAC:
                targets = self.cameras
            else:
                targets = [c for c in self.cameras if c.mac == hdr["mac"]]
        if not targets:
            self.write_log(now, "", port, addr, data)
            return
        body = data[HEADER.size:HEADER.size + hdr["body_len"]]
        for cam in targets:
            self.write_log(now, cam.name, port, addr, data)
            # A request announcing more body than it carries is not answered.
            if len(body) == hdr["body_len"]:
                cam.handle(port, hdr, body, addr, now)

    def serve(self):
        poller = select.poll()
        by_fd = {}
        for port, s in self.socks.items():
            poller.register(s, select.POLLIN)
            by_fd[s.fileno()] = (port, s)
        while True:
            timeout = None
            if self.timers:
                timeout = max(0, int((self.timers[0][0] - time.monotonic()) * 1000) + 1)
            for fd, _ in poller.poll(timeout):
                port, s = by_fd[fd]
                while True:
                    try:
                        data, addr = s.recvfrom(65536)
                    except (BlockingIOError, InterruptedError):
                        break
                    except OSError:
                        break
                    try:
                        self.on_datagram(port, data, addr)
                    except Exception:  # keep serving the other requests
                        traceback.print_exc(file=sys.stderr)
                        sys.stderr.flush()
            self.run_due()


def main(argv):
    ap = argparse.ArgumentParser(description="Emulated LANDAP cameras.")
    ap.add_argument("--config", required=True, help="JSON configuration file")
    ap.add_argument("--log", help="JSON-lines file of every request received and reply sent")
    ap.add_argument("--ready", help="file written once the sockets are bound")
    args = ap.parse_args(argv)
    try:
        with open(args.config, encoding="utf-8") as f:
            cfg = json.load(f)
        log = open(args.log, "a", encoding="utf-8") if args.log else None
        server = Server(cfg, log)
    except (ConfigError, ValueError, OSError) as e:
        print("landap_camera: %s" % e, file=sys.stderr)
        return 2
    if args.ready:
        tmp = args.ready + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % os.getpid())
        os.rename(tmp, args.ready)
    try:
        server.serve()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
