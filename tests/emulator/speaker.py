"""The camera's speaker endpoint: an authorised POST whose body is an
endless run of "audio/ACAS" packets (40-byte header and payload, see
media_packets.py). The body is read as it streams in; every packet is
logged with its bytes and the time its last byte arrived, and bytes that
are not a packet (the leading zero bytes some requests carry) are logged
as junk. Options: the "speaker" object of HTTP.md.
"""
import socket
import struct
import time

MAGIC = b"\x00\x00\x01\xf6"
KEYS = {"stall_probe", "reset_after_packets", "max_payload"}


def check(options):
    bad = set(options or {}) - KEYS
    if bad:
        raise ValueError("speaker keys not known: %s" % sorted(bad))


class Body:
    """Cuts packets from the body bytes and logs them."""

    def __init__(self, conn, options):
        self.conn = conn
        self.max_payload = int(options.get("max_payload", 1 << 20))
        self.buf = b""
        self.junk = b""
        self.packets = 0

    def log(self, event, data, arrival):
        self.conn.srv.log.write(event=event, time=arrival, conn=self.conn.cid,
                                bytes=data.hex())

    def flush_junk(self, arrival):
        if self.junk:
            self.log("speaker_junk", self.junk, arrival)
            self.junk = b""

    def feed(self, data, arrival):
        """Takes newly arrived bytes; returns the packets completed."""
        self.buf += data
        done = 0
        while self.buf:
            nxt = self.buf.find(MAGIC, 1)
            if self.buf.startswith(MAGIC):
                if len(self.buf) < 40:
                    return done
                size = struct.unpack_from("<I", self.buf, 8)[0]
                if size <= self.max_payload:
                    if len(self.buf) < 40 + size:
                        return done
                    self.flush_junk(arrival)
                    self.log("speaker_packet", self.buf[:40 + size], arrival)
                    self.buf = self.buf[40 + size:]
                    done += 1
                    continue
            elif MAGIC.startswith(self.buf):
                return done  # a packet start still arriving
            # Not a packet: junk up to the next magic; one may still be
            # arriving in the last 3 bytes.
            cut = nxt if nxt > 0 else len(self.buf) - 3
            if cut <= 0:
                return done
            self.junk += self.buf[:cut]
            self.buf = self.buf[cut:]
        return done


def serve(conn, options):
    """Reads the body of an accepted speaker POST until the peer ends it.
    Returns why the connection ended."""
    body = Body(conn, options or {})
    reset_after = (options or {}).get("reset_after_packets")
    data, conn.buf = conn.buf, b""
    arrival = time.monotonic()
    while True:
        body.packets += body.feed(data, arrival)
        if reset_after is not None and body.packets >= int(reset_after):
            body.flush_junk(arrival)
            conn.reset_now()
            return "reset after %d speaker packets" % body.packets
        try:
            data = conn.sock.recv(65536)
        except (ConnectionResetError, socket.timeout) as e:
            data = b""
            why = "speaker body ended: %s" % e
        else:
            why = "peer closed after %d speaker packets" % body.packets
        arrival = time.monotonic()
        if not data:
            body.junk += body.buf
            body.flush_junk(arrival)
            return why


def stall(conn):
    """Says nothing to a request that would get a 401, keeping the socket
    open and dropping what comes, until the peer gives up."""
    conn.srv.log.write(event="stall", time=time.monotonic(), conn=conn.cid,
                       body_bytes=0)
    try:
        while conn.sock.recv(65536):
            pass
    except OSError:
        pass
    return "peer closed during the stalled speaker probe"
