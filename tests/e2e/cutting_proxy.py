#!/usr/bin/env python3
"""A loopback HTTP relay that breaks the first package download off, for the resume test.

  cutting_proxy.py LISTEN_PORT UPSTREAM_PORT LOG_FILE [CUT_PERCENT]

Listens on 127.0.0.1:LISTEN_PORT and passes every request to 127.0.0.1:UPSTREAM_PORT (one
request per connection: it asks the upstream to close after the answer). The answer to
the first request for a ".zip" is cut after CUT_PERCENT (default 40) of its body: the
relay closes both connections there, as a dropped line would. Each request's first line
and its Range and If-Range headers are appended to LOG_FILE, one request per line.
"""
import socket
import sys
import threading

listen_port, upstream_port, log_file = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
cut_percent = int(sys.argv[4]) if len(sys.argv) > 4 else 40
lock = threading.Lock()
state = {"cut_done": False}


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            return None, b""
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    return head, rest


def header(head, name):
    for line in head.split(b"\r\n")[1:]:
        key, _, value = line.partition(b":")
        if key.strip().lower() == name:
            return value.strip()
    return None


def serve(client):
    upstream = None
    try:
        head, rest = read_head(client)
        if head is None:
            return
        lines = [l for l in head.split(b"\r\n") if not l.lower().startswith(b"connection:")]
        request_line = lines[0]
        with lock:
            with open(log_file, "ab") as log:
                log.write(b" | ".join([request_line, b"Range: " + (header(head, b"range") or b""),
                                       b"If-Range: " + (header(head, b"if-range") or b"")]) + b"\n")
            cut = request_line.split(b" ")[1].endswith(b".zip") and not state["cut_done"]
            if cut:
                state["cut_done"] = True
        upstream = socket.create_connection(("127.0.0.1", upstream_port))
        upstream.sendall(b"\r\n".join(lines + [b"Connection: close"]) + b"\r\n\r\n" + rest)
        answer_head, body = read_head(upstream)
        if answer_head is None:
            return
        client.sendall(answer_head + b"\r\n\r\n")
        limit = None
        if cut:
            length = int(header(answer_head, b"content-length") or b"0")
            limit = length * cut_percent // 100
        sent = 0
        while True:
            if limit is not None and sent + len(body) >= limit:
                client.sendall(body[: limit - sent])
                return  # the line drops here
            client.sendall(body)
            sent += len(body)
            body = upstream.recv(65536)
            if not body:
                return
    except OSError:
        pass
    finally:
        for s in (client, upstream):
            if s is not None:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
                s.close()


def main():
    server = socket.socket()
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(("127.0.0.1", listen_port))
    server.listen(16)
    while True:
        client, _ = server.accept()
        threading.Thread(target=serve, args=(client,), daemon=True).start()


main()
