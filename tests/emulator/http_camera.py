#!/usr/bin/env python3
"""HTTP side of the emulated camera: a test peer for the streaming client.

    http_camera.py [--config FILE] [options]

Serves every GET (and any other method) with a configurable reply: Basic or
Digest authorization checked with its own MD5, any status line, long or
byte-wise reply headers, a pluggable body source paced at a given rate, and
faults (stall, close or reset after N body bytes, refusal of the first K
connections). Optional TLS. Every request is logged with its exact bytes.
See HTTP.md beside this file for the configuration keys and examples.

Python 3 standard library only; shares nothing with the library under test.
"""
import argparse
import base64
import hashlib
import importlib
import importlib.util
import json
import os
import secrets
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import traceback

import jpeg_parts
import speaker

DEFAULTS = {
    "listen": "127.0.0.1",
    "port": 0,
    "ready_file": None,
    "log": None,
    "tls_cert": None,
    "tls_key": None,
    # none | basic | digest | exact
    "auth": "none",
    "user": "admin",
    "password": "",
    "credentials_file": None,   # JSON {"user", "password"} read per request
    "authorization": None,      # the whole expected value for auth "exact"
    "realm": "camera",
    "qop": "auth",              # "" leaves qop out of the challenge
    "opaque": None,
    "algorithm": None,          # e.g. "MD5": named in the challenge
    "stale": 0,                 # first N valid Digest answers get stale=true
    "nonce_single_use": False,  # a used nonce is stale the next time
    "www_authenticate": None,   # raw challenge values; "{nonce}" is filled in
    "unauthorized_body": "",
    "close_after_401": False,
    "status": 200,
    "reason": None,
    "status_line": None,        # raw first line, replaces status and reason
    "status_body": None,        # body of a reply with a status other than 2xx
    "close_after_reply": False, # close after a reply that is not a stream
    "content_type": None,
    "headers": [],              # extra [name, value] pairs or {name: value}
    "header_padding": 0,        # pad the reply header to at least N bytes
    "split_header": False,      # send the reply header one byte per send
    "split_delay": 0.002,       # seconds between those sends
    "head_with_body": False,    # the header and the first body chunk in one send
    "body": None,               # body source, see HTTP.md
    "rate": 0.0,                # body bytes per second, 0 = unpaced
    "chunk": 4096,              # bytes per send of a paced body
    "content_length": False,    # finite body: send Content-Length, keep alive
    "stall_after": None,
    "close_after": None,
    "reset_after": None,
    "at_end": "close",          # close | stall | reset when the body ends
    "body_after_file": None,    # the body waits until this file exists
    "refuse_first": 0,
    "refuse_mode": "close",     # close | reset
    "speaker": None,            # speaker endpoint options, see HTTP.md
    "routes": {},               # path -> overrides of the keys above
}

REASONS = {
    100: "Continue", 200: "OK", 204: "No Content", 206: "Partial Content",
    301: "Moved Permanently", 302: "Found", 304: "Not Modified",
    400: "Bad Request", 401: "Unauthorized", 403: "Forbidden",
    404: "Not Found", 405: "Method Not Allowed", 500: "Internal Server Error",
    501: "Not Implemented", 503: "Service Unavailable",
}

MAX_REQUEST_HEADER = 65536
ROUTE_KEYS = set(DEFAULTS) - {"listen", "port", "ready_file", "log",
                              "tls_cert", "tls_key", "refuse_first",
                              "refuse_mode", "routes", "stale"}


def md5hex(text):
    return hashlib.md5(text.encode("latin-1")).hexdigest()


class Log:
    """JSON lines, one per event, flushed at once."""

    def __init__(self, path):
        self.lock = threading.Lock()
        self.f = open(path, "a", buffering=1) if path else None

    def write(self, **fields):
        if not self.f:
            return
        line = json.dumps(fields, separators=(",", ":"))
        with self.lock:
            self.f.write(line + "\n")
            self.f.flush()


# ---------------------------------------------------------------- bodies

def _read_file(name, base_dir):
    with open(os.path.join(base_dir, name), "rb") as f:
        return f.read()


def _bytes_of(spec, base_dir):
    """Bytes of one piece: {"file"} (a JPEG reshaped as jpeg_parts.py
    says), {"text"} or {"hex"}."""
    if "file" in spec:
        data = _read_file(spec["file"], base_dir)
        if "exif_thumbnail" in spec or "pad_to" in spec:
            data = jpeg_parts.compose(
                data, spec, lambda name: _read_file(name, base_dir))
        return data
    if "hex" in spec:
        return bytes.fromhex(spec["hex"])
    return spec.get("text", "").encode("latin-1")


def gen_file(args, ctx):
    data = _bytes_of(args, ctx["base_dir"])
    repeat = args.get("repeat", False)
    while True:
        yield data
        if not repeat or not data:
            return


def gen_pattern(args, ctx):
    unit = _bytes_of(args, ctx["base_dir"]) or b"\x00"
    total = args.get("total")
    block = unit * max(1, 4096 // len(unit))
    sent = 0
    while total is None or sent < total:
        piece = block if total is None else block[:total - sent]
        sent += len(piece)
        yield piece


def gen_multipart(args, ctx):
    """Parts of a multipart-like sequence at "fps" parts per second."""
    boundary = args.get("boundary", "frame")
    ptype = args.get("part_type", "image/jpeg")
    specs = args.get("parts", []) or [{"hex": "ffd8ffd9"}]
    parts = [_bytes_of(p, ctx["base_dir"]) for p in specs]
    count = args.get("count")
    fps = args.get("fps", 0)
    stamps = args.get("timestamps", True)
    # Stamps of part n: stamp_base_ms + n * stamp_step_ms, else the clock.
    stamp_base = args.get("stamp_base_ms")
    stamp_step = args.get("stamp_step_ms", 40)
    extra = args.get("part_headers", {})
    start = time.monotonic()
    n = 0
    while count is None or n < count:
        if fps:
            due = start + n / fps
            now = time.monotonic()
            if due > now:
                time.sleep(due - now)
        data = parts[n % len(parts)]
        head = "--%s\r\nContent-Type: %s\r\nContent-Length: %d\r\n" % (
            boundary, ptype, len(data))
        if specs[n % len(specs)].get("timestamps", stamps):
            if stamp_base is None:
                t = time.time()
                sec, usec = int(t), int((t - int(t)) * 1e6)
            else:
                ms = stamp_base + n * stamp_step
                sec, usec = ms // 1000, ms % 1000 * 1000
            head += "x-ts-sec: %d\r\nx-ts-usec: %d\r\n" % (sec, usec)
        for k, v in extra.items():
            head += "%s: %s\r\n" % (k, v)
        yield head.encode("latin-1") + b"\r\n" + data + b"\r\n"
        n += 1


BUILTIN_GENERATORS = {
    "file": gen_file,
    "pattern": gen_pattern,
    "multipart": gen_multipart,
}


# ---------------------------------------------------------------- events
# The camera's event CGI: a script of tag=value lines, keep-alives, pauses
# and waits, after which the body ends (and "at_end" closes, stalls or
# resets). Kept apart from the other sources: it only adds the "events"
# generator.

_event_requests = {}
_event_lock = threading.Lock()


def _event_script_for(args):
    """The script of this request: "scripts"[n] for the n-th request served
    with these arguments (the last one again after that), else "script"."""
    scripts = args.get("scripts")
    if not scripts:
        return args.get("script", [])
    with _event_lock:
        n = _event_requests.get(id(args), 0)
        _event_requests[id(args)] = n + 1
    return scripts[min(n, len(scripts) - 1)]


def _event_step(step, base_dir):
    """(bytes to send, seconds to pause first, end the body)."""
    if isinstance(step, str):
        if step == "close":
            return b"", 0, True
        return step.encode("latin-1") + b"\r\n", 0, False
    if "line" in step:
        end = step.get("end", "\r\n")
        return (step["line"] + end).encode("latin-1"), 0, False
    if "keep_alive" in step:
        return b"keep_alive\r\n" * int(step["keep_alive"] or 1), 0, False
    if "pause" in step:
        return b"", float(step["pause"]), False
    if "wait_file" in step:
        path = os.path.join(base_dir, step["wait_file"])
        deadline = time.monotonic() + float(step.get("timeout", 30))
        while not os.path.exists(path) and time.monotonic() < deadline:
            time.sleep(0.01)
        return b"", 0, False
    return _bytes_of(step, base_dir), 0, False


def gen_events(args, ctx):
    """Event lines from a script; see HTTP.md. "repeat": a count or true
    (without end); "piece": at most that many bytes per send, "piece_delay"
    seconds apart, so lines arrive cut across reads."""
    script = _event_script_for(args)
    repeat = args.get("repeat", 1)
    piece = int(args.get("piece") or 0)
    delay = float(args.get("piece_delay", 0.005))
    n = 0
    while repeat is True or n < int(repeat):
        n += 1
        for step in script:
            data, pause, end = _event_step(step, ctx["base_dir"])
            if pause:
                time.sleep(pause)
            if end:
                return
            if not piece:
                if data:
                    yield data
                continue
            for k in range(0, len(data), piece):
                yield data[k:k + piece]
                time.sleep(delay)
        if not script:
            return


BUILTIN_GENERATORS["events"] = gen_events


def load_generator(name, base_dir):
    """A built-in name, "module:function" or "/path/file.py:function"."""
    if name in BUILTIN_GENERATORS:
        return BUILTIN_GENERATORS[name]
    mod_name, _, func = name.rpartition(":")
    if not mod_name or not func:
        raise ValueError("bad generator name %r" % name)
    if mod_name.endswith(".py"):
        path = os.path.join(base_dir, mod_name)
        spec = importlib.util.spec_from_file_location(
            "gen_%d" % abs(hash(path)), path)
        mod = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(mod)
    else:
        for d in (base_dir, os.path.dirname(os.path.abspath(__file__))):
            if d not in sys.path:
                sys.path.insert(0, d)
        mod = importlib.import_module(mod_name)
    return getattr(mod, func)


def body_source(body, base_dir, request):
    """(iterator of bytes, length or None, default content type)."""
    if body is None:
        return None, 0, None
    if isinstance(body, str):
        body = {"text": body}
    ctx = {"base_dir": base_dir, "request": request}
    if "generator" in body:
        gen = load_generator(body["generator"], base_dir)
        args = body.get("args", {})
        # A generator may name its content type: a function of its args.
        ctype = getattr(gen, "content_type", None)
        return iter(gen(args, ctx)), None, ctype(args) if ctype else None
    if "multipart" in body:
        args = body["multipart"]
        ctype = "multipart/x-mixed-replace;boundary=%s" % args.get(
            "boundary", "frame")
        return gen_multipart(args, ctx), None, ctype
    if "pattern" in body or "pattern_hex" in body:
        args = {"text": body["pattern"]} if "pattern" in body else {
            "hex": body["pattern_hex"]}
        args["total"] = body.get("total")
        length = body.get("total")
        return gen_pattern(args, ctx), length, None
    if "file" in body and body.get("repeat"):
        return gen_file(body, ctx), None, None
    data = _bytes_of(body, base_dir)
    return iter([data]), len(data), None


# ---------------------------------------------------------------- auth

def parse_auth_params(text):
    """key=value pairs of a Digest header; values quoted or bare."""
    out = {}
    i, n = 0, len(text)
    while i < n:
        while i < n and text[i] in " \t,":
            i += 1
        j = i
        while j < n and text[j] not in "=, \t":
            j += 1
        key = text[i:j].lower()
        while j < n and text[j] in " \t":
            j += 1
        if j >= n or text[j] != "=":
            i = j + 1
            continue
        j += 1
        while j < n and text[j] in " \t":
            j += 1
        if j < n and text[j] == '"':
            j += 1
            val = []
            while j < n and text[j] != '"':
                if text[j] == "\\" and j + 1 < n:
                    j += 1
                val.append(text[j])
                j += 1
            j += 1
            value = "".join(val)
        else:
            k = j
            while j < n and text[j] not in ", \t":
                j += 1
            value = text[k:j]
        if key:
            out[key] = value
        i = j
    return out


class Server:
    def __init__(self, cfg, base_dir):
        self.cfg = cfg
        self.base_dir = base_dir
        self.log = Log(cfg["log"])
        self.lock = threading.Lock()
        self.conn_count = 0
        self.nonces = {}        # nonce -> uses
        self.stale_left = int(cfg.get("stale") or 0)
        self.tls = None
        if cfg["tls_cert"]:
            ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            ctx.load_cert_chain(cfg["tls_cert"], cfg["tls_key"] or None)
            self.tls = ctx
        host = cfg["listen"]
        fam = socket.AF_INET6 if ":" in host else socket.AF_INET
        self.sock = socket.socket(fam, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((host.strip("[]"), int(cfg["port"])))
        self.sock.listen(64)
        self.port = self.sock.getsockname()[1]

    def with_credentials(self, cfg):
        """cfg with user and password from its credentials_file, which the
        camera's LANDAP side rewrites when the password changes."""
        path = cfg.get("credentials_file")
        if not path:
            return cfg
        with open(os.path.join(self.base_dir, path), encoding="utf-8") as f:
            pair = json.load(f)
        return dict(cfg, user=pair["user"], password=pair["password"])

    def new_nonce(self):
        nonce = secrets.token_hex(16)
        with self.lock:
            self.nonces[nonce] = 0
        return nonce

    # ---- main loop

    def serve(self):
        # The main thread wakes now and then: a SIGTERM that the kernel hands
        # to a connection's thread has its handler run only here.
        self.sock.settimeout(0.2)
        while True:
            try:
                conn, peer = self.sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            conn.settimeout(None)
            now = time.monotonic()
            with self.lock:
                self.conn_count += 1
                cid = self.conn_count
            refused = cid <= int(self.cfg["refuse_first"] or 0)
            self.log.write(event="accept", time=now, conn=cid,
                           peer="%s:%d" % (peer[0], peer[1]),
                           refused=refused)
            if refused:
                if self.cfg["refuse_mode"] == "reset":
                    reset(conn)
                else:
                    threading.Thread(target=close_gently, args=(conn,),
                                     daemon=True).start()
                continue
            threading.Thread(target=self.handle, args=(conn, cid),
                             daemon=True).start()

    # ---- one connection

    def handle(self, conn, cid):
        why = "done"
        try:
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            if self.tls:
                conn.settimeout(10)
                conn = self.tls.wrap_socket(conn, server_side=True)
            conn.settimeout(None)
            why = Connection(self, conn, cid).run()
        except (OSError, ValueError) as e:
            why = "error: %s" % e
        except Exception as e:  # a faulty generator: say so, keep serving
            traceback.print_exc()
            why = "error: %r" % e
        finally:
            self.log.write(event="close", time=time.monotonic(), conn=cid,
                           reason=why)
            close_gently(conn)


def origin_form(target):
    """Path and query of a target that may be in absolute (proxy) form."""
    low = target.lower()
    if low.startswith("http://") or low.startswith("https://"):
        rest = target.split("//", 1)[1]
        return "/" + rest.split("/", 1)[1] if "/" in rest else "/"
    return target


def close_gently(sock):
    """FIN, then drop what the peer still sends, so the close stays a FIN.

    Closing with unread bytes in the receive queue would send a reset."""
    deadline = time.monotonic() + 2
    try:
        sock.shutdown(socket.SHUT_WR)
        while time.monotonic() < deadline:
            sock.settimeout(max(0.01, deadline - time.monotonic()))
            if not sock.recv(65536):
                break
    except (OSError, ValueError):
        pass
    try:
        sock.close()
    except OSError:
        pass


def reset(sock):
    """Close with a TCP reset instead of a FIN."""
    raw = sock
    try:
        raw.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                       struct.pack("ii", 1, 0))
    except OSError:
        pass
    try:
        if isinstance(sock, ssl.SSLSocket):
            # Skip the TLS close alert: the reset is the point.
            fd = socket.socket(fileno=sock.detach())
            fd.close()
        else:
            raw.close()
    except OSError:
        pass


class Closed(Exception):
    pass


def extra_headers(cfg):
    extra = cfg["headers"]
    return list(extra.items()) if isinstance(extra, dict) else list(extra)


def closes_after_401(cfg, headers):
    """True: every 401 ends its connection; "refused": only a 401 that
    refuses an Authorization the request carried (a failed answer)."""
    mode = cfg["close_after_401"]
    if mode == "refused":
        return "authorization" in headers
    return bool(mode)


class Connection:
    def __init__(self, server, sock, cid):
        self.srv = server
        self.sock = sock
        self.cid = cid
        self.buf = b""
        self.skip_nul = False  # after a 401 to a speaker POST

    def reset_now(self):
        reset(self.sock)

    def read_request(self):
        """(bytes, first byte time) of one request header; None at EOF."""
        first = time.monotonic() if self.buf else None
        while self.skip_nul or b"\r\n\r\n" not in self.buf:
            if self.skip_nul:
                # The refused POST's zero bytes, if any, come before the retry.
                self.buf = self.buf.lstrip(b"\x00")
                self.skip_nul = not self.buf
                if self.buf:
                    continue
            if len(self.buf) > MAX_REQUEST_HEADER:
                raise Closed("request header too long")
            data = self.sock.recv(65536)
            if not data:
                if self.buf:
                    self.srv.log.write(event="partial", time=first,
                                       conn=self.cid, bytes=self.buf.hex())
                return None, None
            if first is None:
                first = time.monotonic()
            self.buf += data
        end = self.buf.index(b"\r\n\r\n") + 4
        req, self.buf = self.buf[:end], self.buf[end:]
        return req, first

    def run(self):
        while True:
            try:
                raw, first = self.read_request()
            except Closed as e:
                return str(e)
            if raw is None:
                return "peer closed"
            text = raw.decode("latin-1")
            lines = text.split("\r\n")
            parts = lines[0].split(" ")
            method = parts[0]
            target = parts[1] if len(parts) > 1 else ""
            headers = {}
            for line in lines[1:]:
                name, sep, value = line.partition(":")
                if sep:
                    headers.setdefault(name.strip().lower(), value.strip())
            path = origin_form(target).split("?", 1)[0]
            cfg = dict(self.srv.cfg)
            cfg.update(self.srv.cfg["routes"].get(path, {}))
            auth_ok, note = self.check_auth(cfg, method, target, headers)
            self.srv.log.write(event="request", time=first,
                               end_time=time.monotonic(), conn=self.cid,
                               method=method, target=target, auth=note,
                               bytes=raw.hex())
            if cfg["speaker"] is not None and method == "POST":
                result = self.speaker(cfg, auth_ok, note, headers)
                if result is not None:
                    return result
                continue
            # Other request bodies are read and dropped.
            length = headers.get("content-length", "0")
            if length.isdigit() and int(length) > 0:
                self.drain(int(length))
            if not auth_ok:
                closing = closes_after_401(cfg, headers)
                self.send_401(cfg, note, closing)
                if closing:
                    return "closed after 401"
                continue
            result = self.reply(cfg, method, target, headers)
            if result is not None:
                return result

    def speaker(self, cfg, auth_ok, note, headers):
        """A POST to the speaker: its body streams in as audio packets.
        None to read the next request (after a 401)."""
        options = cfg["speaker"] or {}
        if auth_ok:
            return speaker.serve(self, options)
        if options.get("stall_probe"):
            return speaker.stall(self)
        # The body of a refused POST is not read: the client sends its
        # request again at once, after at most a few zero bytes.
        closing = closes_after_401(cfg, headers)
        self.send_401(cfg, note, closing)
        if closing:
            return "closed after 401"
        self.skip_nul = True
        return None

    def drain(self, n):
        take = min(n, len(self.buf))
        self.buf = self.buf[take:]
        n -= take
        while n > 0:
            data = self.sock.recv(min(n, 65536))
            if not data:
                raise OSError("peer closed inside a request body")
            n -= len(data)

    # ---- authorization

    def check_auth(self, cfg, method, target, headers):
        cfg = self.srv.with_credentials(cfg)
        mode = cfg["auth"]
        value = headers.get("authorization")
        if mode == "none":
            return True, "none"
        if value is None:
            return False, "missing"
        if mode == "exact":
            want = cfg["authorization"]
            if want is None:
                want = "%s:%s" % (cfg["user"], cfg["password"])
            return (value == want), ("ok" if value == want else "wrong")
        scheme, _, rest = value.partition(" ")
        if mode == "basic":
            if scheme.lower() != "basic":
                return False, "wrong scheme"
            try:
                pair = base64.b64decode(rest.strip(), validate=True)
            except ValueError:
                return False, "bad base64"
            ok = pair == ("%s:%s" % (cfg["user"], cfg["password"])).encode(
                "latin-1")
            return ok, "ok" if ok else "wrong"
        if mode == "digest":
            if scheme.lower() != "digest":
                return False, "wrong scheme"
            return self.check_digest(cfg, method, target,
                                     parse_auth_params(rest))
        return False, "unknown auth mode %r" % mode

    def check_digest(self, cfg, method, target, p):
        srv = self.srv
        nonce = p.get("nonce", "")
        if p.get("username") != cfg["user"]:
            return False, "wrong"
        if p.get("realm") != cfg["realm"]:
            return False, "wrong realm"
        if p.get("uri") not in (target, origin_form(target)):
            return False, "uri mismatch"
        ha1 = md5hex("%s:%s:%s" % (cfg["user"], cfg["realm"],
                                   cfg["password"]))
        ha2 = md5hex("%s:%s" % (method, p.get("uri", "")))
        qop = p.get("qop")
        if qop:
            want = md5hex("%s:%s:%s:%s:%s:%s" % (
                ha1, nonce, p.get("nc", ""), p.get("cnonce", ""), qop, ha2))
        else:
            want = md5hex("%s:%s:%s" % (ha1, nonce, ha2))
        if p.get("response", "").lower() != want:
            return False, "wrong"
        with srv.lock:
            known = nonce in srv.nonces
            uses = srv.nonces.get(nonce, 0)
            if not known:
                return False, "stale"  # valid answer to a nonce not ours
            if cfg["nonce_single_use"] and uses > 0:
                return False, "stale"
            if srv.stale_left > 0:
                srv.stale_left -= 1
                del srv.nonces[nonce]
                return False, "stale"
            srv.nonces[nonce] = uses + 1
        return True, "ok"

    def send_401(self, cfg, note, closing=False):
        hdrs = []
        mode = cfg["auth"]
        if cfg["www_authenticate"] is not None:
            raws = cfg["www_authenticate"]
            if isinstance(raws, str):
                raws = [raws]
            for r in raws:
                nonce = self.srv.new_nonce() if "{nonce}" in r else None
                hdrs.append(("WWW-Authenticate",
                             r.replace("{nonce}", nonce or "")))
        elif mode == "digest":
            ch = 'Digest realm="%s", nonce="%s"' % (cfg["realm"],
                                                    self.srv.new_nonce())
            if cfg["qop"]:
                ch += ', qop="%s"' % cfg["qop"]
            if cfg["opaque"] is not None:
                ch += ', opaque="%s"' % cfg["opaque"]
            if cfg["algorithm"]:
                ch += ", algorithm=%s" % cfg["algorithm"]
            if note == "stale":
                ch += ", stale=true"
            hdrs.append(("WWW-Authenticate", ch))
        elif mode == "basic":
            hdrs.append(("WWW-Authenticate", 'Basic realm="%s"' % cfg["realm"]))
        body = cfg["unauthorized_body"].encode("latin-1")
        hdrs.append(("Content-Type", "text/html"))
        hdrs.append(("Content-Length", str(len(body))))
        # A server that closes says so, unless the test gives its own field.
        if closing and not any(k.lower() == "connection"
                               for k, _ in extra_headers(cfg)):
            hdrs.append(("Connection", "close"))
        self.send_head(cfg, "HTTP/1.1 401 Unauthorized", hdrs)
        self.sock.sendall(body)
        self.srv.log.write(event="reply", time=time.monotonic(),
                           conn=self.cid, status=401)

    # ---- replies

    def status_line(self, cfg):
        if cfg["status_line"] is not None:
            return cfg["status_line"]
        code = int(cfg["status"])
        reason = cfg["reason"]
        if reason is None:
            reason = REASONS.get(code, "Status")
        return ("HTTP/1.1 %d %s" % (code, reason)).rstrip(" ")

    def send_head(self, cfg, first, hdrs, lead=b""):
        extra = extra_headers(cfg)
        lines = [first] + ["%s: %s" % (k, v) for k, v in hdrs]
        lines += ["%s: %s" % (k, v) for k, v in extra]
        head = "\r\n".join(lines) + "\r\n"
        pad = int(cfg["header_padding"] or 0)
        i = 0
        while len(head) + 2 < pad:
            room = pad - len(head) - 2 - len("X-Padding-0000: \r\n")
            fill = max(1, min(1000, room))
            head += "X-Padding-%04d: %s\r\n" % (i, "p" * fill)
            i += 1
        data = (head + "\r\n").encode("latin-1") + lead
        if cfg["split_header"]:
            delay = float(cfg["split_delay"])
            for k in range(len(data)):
                self.sock.sendall(data[k:k + 1])
                if delay:
                    time.sleep(delay)
        else:
            self.sock.sendall(data)

    def reply(self, cfg, method, target, headers):
        """None to read the next request; else why the connection ends."""
        first = self.status_line(cfg)
        code = int(cfg["status"])
        request = {"method": method, "target": target, "headers": headers,
                   "conn": self.cid}
        body_cfg = cfg["body"]
        if not 200 <= code < 300 and cfg["status_body"] is not None:
            body_cfg = {"text": cfg["status_body"]}
        src, length, ctype = body_source(body_cfg, self.srv.base_dir,
                                         request)
        hdrs = []
        ctype = cfg["content_type"] or ctype
        if ctype:
            hdrs.append(("Content-Type", ctype))
        finite = length is not None and (cfg["content_length"] or
                                         not 200 <= code < 300 or src is None)
        if finite:
            hdrs.append(("Content-Length", str(length)))
        lead = b""
        if src is not None and cfg["head_with_body"]:
            src = iter(src)
            lead = next((piece for piece in src if piece), b"")
        self.send_head(cfg, first, hdrs, lead)
        self.srv.log.write(event="reply", time=time.monotonic(),
                           conn=self.cid, status=code)
        if src is None:
            return "closed after reply" if cfg["close_after_reply"] else None
        if cfg["body_after_file"]:
            self.wait_for_file(cfg["body_after_file"])
        sent, end = self.send_body(cfg, src, len(lead))
        if end is not None:
            return end
        if finite and not cfg["close_after_reply"]:
            return None
        return self.finish(cfg["at_end"], sent)

    def wait_for_file(self, name, timeout=60):
        """Until name exists in the configuration's folder: a test says
        when a body may start (a generator's clock starts with its body)."""
        path = os.path.join(self.srv.base_dir, name)
        deadline = time.monotonic() + timeout
        while not os.path.exists(path) and time.monotonic() < deadline:
            time.sleep(0.005)

    def send_body(self, cfg, src, sent=0):
        """(bytes sent, why it ended early or None); sent: body bytes that
        went out with the header."""
        limits = [(cfg[k], k) for k in ("stall_after", "close_after",
                                        "reset_after") if cfg[k] is not None]
        limit, action = min(limits) if limits else (None, None)
        rate = float(cfg["rate"] or 0)
        chunk = max(1, int(cfg["chunk"] or 4096))
        start = time.monotonic()
        for piece in src:
            if not piece:
                continue
            pos = 0
            while pos < len(piece):
                step = len(piece) - pos
                if rate:
                    step = min(step, chunk)
                if limit is not None:
                    step = min(step, limit - sent)
                if step > 0:
                    self.sock.sendall(piece[pos:pos + step])
                    pos += step
                    sent += step
                if limit is not None and sent >= limit:
                    return sent, self.finish(action.split("_")[0], sent)
                if rate:
                    due = start + sent / rate
                    now = time.monotonic()
                    if due > now:
                        time.sleep(due - now)
        return sent, None

    def finish(self, action, sent):
        if action == "stall":
            self.srv.log.write(event="stall", time=time.monotonic(),
                               conn=self.cid, body_bytes=sent)
            # Keep the socket open and drop whatever comes in, until the
            # peer gives up.
            try:
                while self.sock.recv(65536):
                    pass
            except OSError:
                pass
            return "peer closed during stall after %d body bytes" % sent
        if action == "reset":
            reset(self.sock)
            return "reset after %d body bytes" % sent
        return "closed after %d body bytes" % sent


# ---------------------------------------------------------------- start

def build_config(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--config", help="JSON configuration file")
    for key, val in DEFAULTS.items():
        if key == "routes":
            continue
        opt = "--" + key.replace("_", "-")
        if isinstance(val, bool):
            ap.add_argument(opt, dest=key, action="store_const", const=True,
                            default=None)
        elif key in ("body", "headers", "www_authenticate", "speaker"):
            ap.add_argument(opt, dest=key, default=None,
                            help="JSON value")
        else:
            ap.add_argument(opt, dest=key, default=None)
    a = ap.parse_args(argv)
    cfg = dict(DEFAULTS)
    base_dir = os.getcwd()
    if a.config:
        with open(a.config) as f:
            cfg.update(json.load(f))
        base_dir = os.path.dirname(os.path.abspath(a.config))
    for key, val in DEFAULTS.items():
        got = getattr(a, key, None)
        if got is None:
            continue
        if key in ("body", "headers", "www_authenticate", "speaker"):
            got = json.loads(got)
        elif isinstance(val, int) and not isinstance(val, bool):
            got = int(got)
        elif isinstance(val, float):
            got = float(got)
        elif key in ("stall_after", "close_after", "reset_after"):
            got = int(got)
        cfg[key] = got
    unknown = set(cfg) - set(DEFAULTS)
    if unknown:
        ap.error("unknown configuration keys: %s" % ", ".join(sorted(unknown)))
    for path, route in cfg["routes"].items():
        bad = set(route) - ROUTE_KEYS
        if bad:
            ap.error("route %s: keys not allowed: %s" % (path,
                                                         ", ".join(sorted(bad))))
    try:
        for options in [cfg["speaker"]] + [r.get("speaker") for r in
                                           cfg["routes"].values()]:
            speaker.check(options)
    except ValueError as e:
        ap.error(str(e))
    if cfg["close_after_401"] not in (False, True, "refused"):
        ap.error("close_after_401 must be true, false or refused")
    if cfg["refuse_mode"] not in ("close", "reset"):
        ap.error("refuse_mode must be close or reset")
    return cfg, base_dir


def main(argv):
    cfg, base_dir = build_config(argv)
    srv = Server(cfg, base_dir)
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    srv.log.write(event="listen", time=time.monotonic(), port=srv.port,
                  tls=bool(srv.tls))
    if cfg["ready_file"]:
        tmp = cfg["ready_file"] + ".tmp"
        with open(tmp, "w") as f:
            f.write("ready %d\n" % srv.port)
        os.rename(tmp, cfg["ready_file"])
    else:
        print("ready %d" % srv.port, flush=True)
    srv.serve()


if __name__ == "__main__":
    main(sys.argv[1:])
