#!/usr/bin/env python3
"""Local HTTP(S) server for the WinHTTP backend tests.

Every request is stored byte for byte (request line, header lines as they came, body) in
RECORD_DIR/<id>.raw, where <id> is the request's "id" query value, before the answer goes out.
A request whose target is an absolute URI is answered the same way, so the server doubles as a proxy.

Routes (path of the target):
  /echo                      200 "ok"
  /headers                   200 with two Set-Cookie lines and X-Qiwa-Test
  /set-cookie                200 with "Set-Cookie: session=abc123; path=/"
  /stall                     reads the request, answers nothing for a minute
  /redirect                  302 to /echo?id=<id>-target
  /redirect-to-http          302 to http://127.0.0.1:<http port>/echo?id=<id>-target (asked over https: a step down)
  /status?code=N             status N, body "nope"
  /empty                     200, Content-Length: 0
  /cut?length=N&send=M       announces N bytes, sends M, closes
  /data?size=N[&nolength=1]  N bytes of (i % 251), without Content-Length when asked
"""
import argparse
import os
import socket
import ssl
import threading
import time
import urllib.parse

CHUNK = 64 * 1024
PORTS = {}


def pattern(size):
    block = bytes(i % 251 for i in range(251 * 64))
    whole, rest = divmod(size, len(block))
    return block * whole + block[:rest]


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        piece = conn.recv(CHUNK)
        if not piece:
            return None
        data += piece
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(body) < length:
        piece = conn.recv(CHUNK)
        if not piece:
            break
        body += piece
    return head, body


def answer(conn, status, headers, body, length=None):
    reason = {200: "OK", 302: "Found", 404: "Not Found", 500: "Internal Server Error"}.get(status, "Status")
    lines = ["HTTP/1.1 %d %s" % (status, reason)]
    lines += headers
    if length is not False:
        lines.append("Content-Length: %d" % (len(body) if length is None else length))
    lines.append("Connection: close")
    conn.sendall(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
    for at in range(0, len(body), CHUNK):
        conn.sendall(body[at:at + CHUNK])


def route(conn, path, query, rid):
    arg = lambda key, default="": query.get(key, [default])[0]
    if path == "/echo":
        answer(conn, 200, ["Content-Type: text/plain"], b"ok")
    elif path == "/headers":
        answer(conn, 201, ["Content-Type: text/plain", "Set-Cookie: uid=1; path=/", "Set-Cookie: lang=2",
                           "X-Qiwa-Test: yes"], b"hello")
    elif path == "/set-cookie":
        answer(conn, 200, ["Set-Cookie: session=abc123; path=/"], b"set")
    elif path == "/stall":
        time.sleep(60)
    elif path == "/redirect":
        answer(conn, 302, ["Location: /echo?id=%s-target" % rid], b"moved")
    elif path == "/redirect-to-http":
        answer(conn, 302, ["Location: http://127.0.0.1:%d/echo?id=%s-target" % (PORTS["http"], rid)], b"moved")
    elif path == "/status":
        answer(conn, int(arg("code", "404")), [], b"nope")
    elif path == "/empty":
        answer(conn, 200, [], b"")
    elif path == "/cut":
        answer(conn, 200, [], pattern(int(arg("send", "0"))), length=int(arg("length", "0")))
    elif path == "/data":
        answer(conn, 200, ["Content-Type: audio/mpeg"], pattern(int(arg("size", "0"))),
               length=False if arg("nolength") else None)
    else:
        answer(conn, 404, [], b"unknown route")


def serve(conn, record_dir):
    try:
        request = read_request(conn)
        if request is None:
            return
        head, body = request
        target = head.split(b"\r\n")[0].split(b" ")[1].decode("latin-1")
        parts = urllib.parse.urlsplit(target)
        query = urllib.parse.parse_qs(parts.query)
        rid = query.get("id", ["anonymous"])[0]
        name = "".join(c for c in rid if c.isalnum() or c in "-_") or "anonymous"
        with open(os.path.join(record_dir, name + ".raw.tmp"), "wb") as f:
            f.write(head + b"\r\n\r\n" + body)
        os.replace(os.path.join(record_dir, name + ".raw.tmp"), os.path.join(record_dir, name + ".raw"))
        route(conn, parts.path, query, rid)
    except (OSError, ValueError, IndexError):
        pass
    finally:
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        conn.close()


def accept_loop(listener, record_dir, context):
    while True:
        conn, _ = listener.accept()

        def handle(conn=conn):
            if context is not None:
                try:
                    conn.settimeout(10)
                    conn = context.wrap_socket(conn, server_side=True)
                    conn.settimeout(None)
                except (OSError, ssl.SSLError):
                    conn.close()
                    return
            serve(conn, record_dir)

        threading.Thread(target=handle, daemon=True).start()


def bind_free(first, last, skip):
    for port in range(first, last + 1):
        if port in skip:
            continue
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            s.bind(("127.0.0.1", port))
            return s, port
        except OSError:
            s.close()
    raise SystemExit("no free port in %d-%d" % (first, last))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--record-dir", required=True)
    p.add_argument("--port-file", required=True)
    p.add_argument("--ports", default="19200-19299")
    p.add_argument("--cert")
    p.add_argument("--key")
    a = p.parse_args()
    first, last = (int(x) for x in a.ports.split("-"))
    os.makedirs(a.record_dir, exist_ok=True)
    plain, http_port = bind_free(first, last, set())
    # A port we hold bound without listening: connections to it are refused.
    closed, closed_port = bind_free(first, last, {http_port})
    ports = PORTS
    ports.update({"http": http_port, "closed": closed_port, "https": 0})
    listeners = [(plain, None)]
    if a.cert and a.key:
        secure, ports["https"] = bind_free(first, last, {http_port, closed_port})
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(a.cert, a.key)
        listeners.append((secure, context))
    for s, context in listeners:
        s.listen(16)
        threading.Thread(target=accept_loop, args=(s, a.record_dir, context), daemon=True).start()
    with open(a.port_file + ".tmp", "w") as f:
        f.write("".join("%s=%d\n" % kv for kv in ports.items()))
    os.replace(a.port_file + ".tmp", a.port_file)
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main()
