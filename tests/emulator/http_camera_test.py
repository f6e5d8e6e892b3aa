#!/usr/bin/env python3
"""The emulator accepts the streaming client's own Digest forms.

curl checks the emulator against a general client; this checks the exact
texts the camera client writes: no blanks after the commas, quoted nc and
qop, a fixed client nonce, the short form when the challenge has no single
qop, a uri with its query. Loopback only.
"""
import hashlib
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
CNONCE = "5e2b7c90a41f3d86b0c9e7a2d4f61b38"


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


class Emulator:
    def __init__(self, config):
        self.dir = tempfile.mkdtemp(prefix="rilo-http-py-")
        path = os.path.join(self.dir, "config.json")
        with open(path, "w") as f:
            json.dump(config, f)
        ready = os.path.join(self.dir, "ready")
        self.log = os.path.join(self.dir, "log.jsonl")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "http_camera.py"),
             "--config", path, "--ready-file", ready, "--log", self.log])
        deadline = time.monotonic() + 10
        while not os.path.exists(ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("emulator did not start")
            time.sleep(0.005)
        with open(ready) as f:
            self.port = int(f.read().split()[1])

    def close(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            # Reported, but it must not outlive the test and hold its output.
            self.proc.kill()
            self.proc.wait()
            raise
        finally:
            subprocess.run(["rm", "-rf", self.dir], check=False)


def read_reply(sock):
    """Status and head of one reply, with its Content-Length body read."""
    data = b""
    while b"\r\n\r\n" not in data:
        got = sock.recv(4096)
        if not got:
            raise EOFError(data)
        data += got
    head, _, rest = data.partition(b"\r\n\r\n")
    text = head.decode("latin-1")
    m = re.search(r"(?im)^content-length: *(\d+)", text)
    need = int(m.group(1)) if m else 0
    while len(rest) < need:
        rest += sock.recv(4096)
    return int(text.split(" ")[1]), text, rest[:need]


def client_request(obj, port, auth=None):
    # The client's own request text, Authorization line last.
    line = "Authorization: %s\r\n" % auth if auth else ""
    return ("GET %s HTTP/1.1\r\nAccept: */*\r\nHost: 127.0.0.1:%u\r\n"
            "User-Agent: RiloClient/1.0.0\r\nConnection: Keep-Alive\r\n%s\r\n"
            % (obj, port, line)).encode()


def client_digest(head, obj, user, password):
    def take(tag):
        i = head.find(tag)
        if i < 0:
            return ""
        start = i + len(tag) + 2
        return head[start:head.find('"', start)]
    nonce, realm, qop = take("nonce"), take("realm"), take("qop")
    ha1 = md5("%s:%s:%s" % (user, realm, password))
    ha2 = md5("GET:%s" % obj)
    if qop in ("auth", "auth-int"):
        resp = md5("%s:%s:%s:%s:%s:%s" % (ha1, nonce, "00000001", CNONCE,
                                          qop, ha2))
        return ('Digest username="%s",realm="%s",uri="%s",nonce="%s",'
                'cnonce="%s",nc="%s",response="%s",qop="%s"'
                % (user, realm, obj, nonce, CNONCE, "00000001", resp, qop))
    resp = md5("%s:%s:%s" % (ha1, nonce, ha2))
    return ('Digest username="%s",realm="%s",uri="%s",nonce="%s",'
            'response="%s"' % (user, realm, obj, nonce, resp))


class ClientDigestForms(unittest.TestCase):
    def exchange(self, config, password):
        emu = Emulator(config)
        self.addCleanup(emu.close)
        obj = "/av2/mjpg.cgi?profileid=3"
        with socket.create_connection(("127.0.0.1", emu.port), 5) as s:
            s.sendall(client_request(obj, emu.port))
            status, head, body = read_reply(s)
            self.assertEqual(401, status)
            self.assertEqual(config.get("unauthorized_body", ""),
                             body.decode())
            auth = client_digest(head, obj, "admin", password)
            s.sendall(client_request(obj, emu.port, auth))
            status, _, body = read_reply(s)
            # A reconnect carries the same value again, nonce and nc alike.
            with socket.create_connection(("127.0.0.1", emu.port), 5) as s2:
                s2.sendall(client_request(obj, emu.port, auth))
                again, _, _ = read_reply(s2)
        return status, body, again

    def test_long_form_with_qop_auth(self):
        cfg = {"auth": "digest", "user": "admin", "password": "pw",
               "realm": "cam", "qop": "auth", "body": "jpeg",
               "content_length": True, "unauthorized_body": "<p>401</p>"}
        self.assertEqual((200, b"jpeg", 200), self.exchange(cfg, "pw"))
        self.assertEqual(401, self.exchange(cfg, "bad")[0])

    def test_short_form_without_qop_and_with_a_qop_list(self):
        for qop in ("", "auth,auth-int"):
            cfg = {"auth": "digest", "user": "admin", "password": "pw",
                   "qop": qop, "body": "x", "content_length": True}
            self.assertEqual((200, b"x", 200), self.exchange(cfg, "pw"), qop)

    def test_single_use_nonce_refuses_the_reconnect_as_stale(self):
        cfg = {"auth": "digest", "user": "admin", "password": "pw",
               "nonce_single_use": True, "body": "x",
               "content_length": True}
        self.assertEqual((200, b"x", 401), self.exchange(cfg, "pw"))


if __name__ == "__main__":
    unittest.main()
