"""A scripted HTTP/1.1 server on loopback for the end-to-end scenarios.

Each path is answered in a fixed way (see Reply); every request line is recorded so a scenario can
tell which way a client came (origin form directly, absolute form through a proxy).
"""

import socket
import struct
import threading
from dataclasses import dataclass, field

LOOPBACK = "127.0.0.1"


@dataclass
class Reply:
    """How one path is answered.

    kind:
      exact      - Content-Length and exactly that many bytes
      no_length  - no Content-Length; body then close
      short      - Content-Length of len(body) + missing, only body sent, then an orderly close
      long       - Content-Length of len(body), then body plus `extra` more bytes, then close
      drop       - Content-Length of len(body), half the body, then a reset
      status     - the given status line with its own body and a Content-Length
    """

    kind: str
    body: bytes = b""
    status: str = "200 OK"
    missing: int = 0
    extra: bytes = b""
    content_type: str = "application/octet-stream"


@dataclass
class Request:
    request_line: str
    headers: dict = field(default_factory=dict)


def _bind(sock, host, port):
    try:
        sock.bind((host, port))
    except OSError as e:
        sock.close()
        raise AssertionError("cannot bind %s:%d (%s); is something else using that port?" % (host, port, e))


def _recv_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = conn.recv(4096)
        if not chunk:
            return None
        data += chunk
        if len(data) > 65536:
            return None
    head = data.split(b"\r\n\r\n", 1)[0].decode("latin-1")
    lines = head.split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return Request(lines[0], headers)


def _target_path(request_line):
    """The path of a request line in origin form or absolute form."""
    parts = request_line.split(" ")
    if len(parts) != 3:
        return None
    target = parts[1]
    if target.startswith("http://"):
        slash = target.find("/", len("http://"))
        target = "/" if slash < 0 else target[slash:]
    return target.split("?", 1)[0]


class LoopbackServer:
    """Serves `routes` (path -> Reply) on 127.0.0.1 at a free port, one thread per connection.

    As a forward proxy it needs nothing more: an absolute-form request line is answered from the
    same routes, and the line is recorded as it came.
    """

    def __init__(self, routes, host=LOOPBACK, port=0):
        self.routes = dict(routes)
        self.requests = []
        self._lock = threading.Lock()
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        _bind(self._sock, host, port)
        self._sock.listen(16)
        self.host, self.port = self._sock.getsockname()
        self._closing = False
        self._thread = threading.Thread(target=self._accept_loop, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._closing = True
        try:
            self._sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._sock.close()
        self._thread.join(5)

    def url(self, path, host=None):
        return "http://%s:%d%s" % (host or self.host, self.port, path)

    def request_lines(self):
        with self._lock:
            return [r.request_line for r in self.requests]

    def _accept_loop(self):
        while not self._closing:
            try:
                conn, _ = self._sock.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        try:
            conn.settimeout(30)
            request = _recv_head(conn)
            if request is None:
                return
            with self._lock:
                self.requests.append(request)
            reply = self.routes.get(_target_path(request.request_line))
            if reply is None:
                reply = Reply("status", b"not found\n", status="404 Not Found", content_type="text/plain")
            self._answer(conn, reply)
        except OSError:
            pass
        finally:
            conn.close()

    @staticmethod
    def _answer(conn, reply):
        def head(length):
            lines = ["HTTP/1.1 " + reply.status, "Content-Type: " + reply.content_type, "Connection: close"]
            if length is not None:
                lines.append("Content-Length: %d" % length)
            return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")

        body = reply.body
        if reply.kind in ("exact", "status"):
            conn.sendall(head(len(body)) + body)
        elif reply.kind == "no_length":
            conn.sendall(head(None) + body)
        elif reply.kind == "short":
            conn.sendall(head(len(body) + reply.missing) + body)
        elif reply.kind == "long":
            conn.sendall(head(len(body)) + body + reply.extra)
        elif reply.kind == "drop":
            conn.sendall(head(len(body)) + body[: len(body) // 2])
            # A reset rather than an orderly close: the peer sees the connection break mid-body.
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        else:
            raise ValueError("unknown reply kind " + reply.kind)
        conn.shutdown(socket.SHUT_WR)
        conn.settimeout(5)
        # Let the client read everything before the socket goes away.
        try:
            while conn.recv(4096):
                pass
        except OSError:
            pass


class Refused:
    """Holds host:port bound but not listening, so a connection there is refused for sure."""

    def __init__(self, host=LOOPBACK, port=0):
        self._sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        # Connections of an earlier server on this port may linger in TIME_WAIT.
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        _bind(self._sock, host, port)
        self.host, self.port = self._sock.getsockname()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self._sock.close()

    def url(self, path):
        return "http://%s:%d%s" % (self.host, self.port, path)
