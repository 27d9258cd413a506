#!/usr/bin/env python3
"""Serves one folder on 127.0.0.1 for the demo, at a limited rate so that the download is
visible. Binds the port given (0 = the kernel chooses) and prints "PORT <n>" once listening.

Usage: demo_server.py FOLDER [--port N] [--rate-kbps K]
"""
import argparse
import functools
import http.server
import sys
import time


class ThrottledHandler(http.server.SimpleHTTPRequestHandler):
    rate = 0  # bytes per second; 0 = unlimited

    def copyfile(self, source, outputfile):
        chunk = 16 * 1024
        while True:
            data = source.read(chunk)
            if not data:
                return
            outputfile.write(data)
            if self.rate:
                time.sleep(len(data) / self.rate)

    def log_message(self, fmt, *args):
        sys.stderr.write("demo server: " + (fmt % args) + "\n")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--rate-kbps", type=int, default=0)
    args = parser.parse_args()
    ThrottledHandler.rate = args.rate_kbps * 1024
    handler = functools.partial(ThrottledHandler, directory=args.folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), handler)
    print(f"PORT {server.server_address[1]}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
