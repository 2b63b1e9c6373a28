#!/usr/bin/env python3
"""An https update server that sends every request on to plain http, for the redirect test.

  redirecting_server.py CERT KEY LOG_FILE

Answers every request on https://127.0.0.1:443 with "302 Found" to the same path on
http://localhost, and listens on 127.0.0.1:80 as the address redirected to, where it answers
404. Each request's first line is appended to LOG_FILE with the port it came to.
"""
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

cert, key, log_file = sys.argv[1:4]
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.1'

    def log_message(self, *args):
        pass

    def do_GET(self):
        port = self.server.server_address[1]
        with lock, open(log_file, 'a') as log:
            log.write(f'{port} {self.requestline}\n')
        if port == 443:
            self.send_response(302)
            self.send_header('Location', 'http://localhost' + self.path)
        else:
            self.send_response(404)
        self.send_header('Content-Length', '0')
        self.end_headers()


secure = ThreadingHTTPServer(('127.0.0.1', 443), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
secure.socket = context.wrap_socket(secure.socket, server_side=True)
plain = ThreadingHTTPServer(('127.0.0.1', 80), Handler)
threading.Thread(target=plain.serve_forever, daemon=True).start()
secure.serve_forever()
