#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets in this folder's subfolders.

    tests/fuzz/corpus/make_seeds.py

The replies come from the emulated cameras' own code (tests/emulator/): the
LANDAP replies are built by the emulator's record layouts without any
network; the HTTP replies are read from http_camera.py on loopback. Each
file carries the few bytes of framing its target reads first (see the
target's source). Only the folders named below are rewritten.
"""
import base64
import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
EMULATOR = os.path.join(HERE, "..", "..", "emulator")
sys.path.insert(0, EMULATOR)
import landap_camera as lc  # noqa: E402

# What the targets expect: the finder reply target's manager sequence
# number; the survey and settings targets' camera MAC and sequence number.
REPLY_SEQ = 0x1234
SURVEY_SEQ = 0x4321
FUZZ_MAC = "02:00:5e:00:02:01"


class _Server:
    broadcast_reply = False


def camera(**cfg):
    base = {"mac": FUZZ_MAC, "ip": "192.0.2.2", "user": "admin", "password": "secret"}
    base.update(cfg)
    return lc.Camera(base, _Server())


def auth_block(user="admin", password="secret"):
    half = lambda v: base64.b64encode(v.encode()).ljust(64, b"\0")
    return half(user) + half(password)


def landap_replies(cam, command, seq, knobs=None, body=b""):
    """The emulator's reply datagrams to one request."""
    knobs = knobs or {}
    request = body if command in lc.NO_AUTH_COMMANDS else auth_block() + body
    status, bodies = cam.execute(command, request, knobs, [])
    hdr = {"seq": seq, "command": command, "mac": cam.mac}
    return [lc.Server.reply_datagram(None, cam, hdr, status, b, knobs) for b in bodies]


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def finder_reply():
    plain = camera(camera_name="Porch", web_port=8000, gateway="192.0.2.254", dns1="192.0.2.53")
    write("finder_reply_fuzz", "discovery", landap_replies(plain, lc.CMD_GET_DEVICE_INFO, REPLY_SEQ)[0])
    dhcp = camera(mac="02:00:5e:00:02:02", camera_name="Yard", dhcp=True, model="RC-200")
    write("finder_reply_fuzz", "discovery-dhcp",
          landap_replies(dhcp, lc.CMD_GET_DEVICE_INFO, REPLY_SEQ)[0])
    write("finder_reply_fuzz", "discovery-full-width",
          landap_replies(plain, lc.CMD_GET_DEVICE_INFO, REPLY_SEQ, {"full_width": True})[0])


def finder_settings():
    # A leading 1: the target puts each request's sequence number and MAC
    # into the reply, so that every command takes it.
    cam = camera(wireless={"enable": 1, "channel": 6, "ssid": "HomeNet", "mode": 1,
                           "encryption": 4, "authentication": 3, "wpa_key": "a passphrase"},
                 ddns_providers=["DDNS-One", "DDNS-Two", "DDNS-Three"],
                 time="2024-05-01 12:00",
                 simple_wireless={"ssid": "HomeNet", "key": "a passphrase"},
                 associated_status={"u32_0": 1, "ssid": "HomeNet"},
                 tessel12={"enabled": True, "states": [[2, 1, 0]], "url": "http://192.0.2.9/t12"})
    for name, command in [("wireless", lc.CMD_GET_WIRELESS), ("adv-network", lc.CMD_GET_ADV_NETWORK),
                          ("datetime", lc.CMD_GET_DATETIME), ("simple-wireless", lc.CMD_GET_SIMPLE_WIRELESS),
                          ("associated-status", lc.CMD_GET_ASSOCIATED_STATUS),
                          ("network-status", lc.CMD_QUERY_NETWORK_STATUS),
                          ("verify", lc.CMD_VERIFY_AUTHORIZATION), ("tessel12-url", lc.CMD_TESSEL12_URL),
                          ("tessel12-state", lc.CMD_TESSEL12_PROC_STATE)]:
        write("finder_settings_fuzz", name, b"\x01" + landap_replies(cam, command, 0)[0])
    write("finder_settings_fuzz", "commit-result",
          b"\x01" + landap_replies(cam, lc.CMD_COMMIT, 0, {"wait_ms": 3000, "result_value": 1})[0])


def finder_survey():
    # A leading 1: pages as they come (u16 length, bytes); 2: the same bytes
    # as a supported-command reply.
    cam = camera(stations=45)
    pages = landap_replies(cam, lc.CMD_GET_SITE_SURVEY, SURVEY_SEQ)
    write("finder_survey_fuzz", "three-pages",
          b"\x01" + b"".join(struct.pack("<H", len(p)) + p for p in pages))
    one = landap_replies(camera(stations=3), lc.CMD_GET_SITE_SURVEY, SURVEY_SEQ)
    write("finder_survey_fuzz", "one-page", b"\x01" + struct.pack("<H", len(one[0])) + one[0])
    write("finder_survey_fuzz", "supported-commands",
          b"\x02" + landap_replies(cam, lc.CMD_GET_SUPPORTED_COMMAND, SURVEY_SEQ)[0])


def http_reply_bytes(config_args, request, limit=65536):
    """What http_camera.py answers to one request on loopback."""
    with tempfile.TemporaryDirectory() as tmp:
        ready = os.path.join(tmp, "ready")
        proc = subprocess.Popen([sys.executable, os.path.join(EMULATOR, "http_camera.py"),
                                 "--ready-file", ready] + config_args)
        try:
            end = time.monotonic() + 10
            while not os.path.exists(ready):
                if time.monotonic() > end or proc.poll() is not None:
                    raise RuntimeError("http_camera.py did not start")
                time.sleep(0.02)
            port = int(open(ready).read().split()[1])
            with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                s.sendall(request.encode())
                data = b""
                while len(data) < limit:
                    try:
                        piece = s.recv(65536)
                    except socket.timeout:
                        break
                    if not piece:
                        break
                    data += piece
            return data[:limit]
        finally:
            proc.terminate()
            proc.wait(10)


GET = ("GET /video/mjpg.cgi?profileid=3 HTTP/1.1\r\nAccept: */*\r\nHost: 127.0.0.1\r\n"
       "User-Agent: RiloClient/1.0.0\r\nConnection: Keep-Alive\r\n\r\n")


def http_targets():
    digest = http_reply_bytes(["--auth", "digest", "--realm", "cam", "--algorithm", "MD5",
                               "--opaque", "5ccc069c403ebaf9f0171e9517f40e41",
                               "--unauthorized-body", "<html>401</html>", "--close-after-401"], GET)
    basic = http_reply_bytes(["--auth", "basic", "--close-after-401"], GET)
    mjpeg = http_reply_bytes(["--body", '{"multipart": {"count": 3, "boundary": "myboundary",'
                              ' "parts": [{"hex": "ffd8ffe000104a464946ffd9"}]}}'], GET)
    sized = http_reply_bytes(["--body", '{"pattern": "0123456789", "total": 300}',
                              "--content-length", "--close-after-reply"], GET)
    # The reply target: authorization type from the first byte (3: Digest),
    # content buffer size from the second (7: 8 KiB).
    write("http_reply_fuzz", "digest-challenge", b"\x03\x07" + digest)
    write("http_reply_fuzz", "basic-challenge", b"\x01\x07" + basic)
    write("http_reply_fuzz", "mjpeg-parts", b"\x01\x07" + mjpeg)
    write("http_reply_fuzz", "content-length", b"\x01\x02" + sized)
    # The field target: the name's length, an output size, the name, the data.
    for name, field, data in [("www-authenticate", "WWW-Authenticate", digest),
                              ("content-type", "Content-Type", mjpeg),
                              ("content-length", "Content-Length", mjpeg[mjpeg.index(b"\r\n\r\n") + 4:])]:
        write("http_field_fuzz", name, bytes([len(field), 63]) + field.encode() + data)


if __name__ == "__main__":
    finder_reply()
    finder_settings()
    finder_survey()
    http_targets()
