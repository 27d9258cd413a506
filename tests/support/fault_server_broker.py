#!/usr/bin/env python3
"""Starts fault_http_server.py instances for test programs that cannot start a Linux process
themselves (the Windows tests, which run under Wine).

  fault_server_broker.py --start --port-file PATH   start in the background; PATH gets the port
  fault_server_broker.py --stop --port-file PATH    stop the broker started with that file

A client connects to 127.0.0.1:<port> and sends one JSON line, {"options": [...]}, with the
server's command-line options (--log is added). The broker starts the server and answers one
JSON line, {"port": N, "log": "/path/of/the/request/log"}, or {"error": "..."}. The server runs
until the client closes its connection, then it is stopped and its log removed. The broker
itself ends on --stop, or after ten idle minutes.
"""
import argparse
import json
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
IDLE_LIMIT_S = 600


class Broker:
    def __init__(self):
        self.lock = threading.Lock()
        self.active = 0
        self.last_activity = time.monotonic()
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.listener.settimeout(5)

    def touch(self, delta):
        with self.lock:
            self.active += delta
            self.last_activity = time.monotonic()

    def idle_too_long(self):
        with self.lock:
            return self.active == 0 and time.monotonic() - self.last_activity > IDLE_LIMIT_S

    def serve_client(self, conn):
        self.touch(+1)
        server = None
        log = None
        try:
            request = b""
            while not request.endswith(b"\n"):
                chunk = conn.recv(4096)
                if not chunk:
                    return
                request += chunk
            message = json.loads(request)
            if message.get("quit"):
                os._exit(0)
            fd, log = tempfile.mkstemp(prefix="fault-http-", suffix=".log")
            os.close(fd)
            args = [sys.executable, os.path.join(HERE, "fault_http_server.py"), "--log", log]
            args += [str(option) for option in message.get("options", [])]
            server = subprocess.Popen(args, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
            line = server.stdout.readline().decode().strip()
            reply = {"port": int(line), "log": log} if line.isdigit() else {"error": "no port"}
            conn.sendall((json.dumps(reply) + "\n").encode())
            while conn.recv(4096):
                pass
        except (OSError, ValueError) as error:
            try:
                conn.sendall((json.dumps({"error": str(error)}) + "\n").encode())
            except OSError:
                pass
        finally:
            if server is not None:
                server.kill()
                server.wait()
            if log is not None and os.path.exists(log):
                os.remove(log)
            conn.close()
            self.touch(-1)

    def run(self):
        while not self.idle_too_long():
            try:
                conn, _ = self.listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=self.serve_client, args=(conn,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port-file", required=True)
    action = parser.add_mutually_exclusive_group(required=True)
    action.add_argument("--start", action="store_true")
    action.add_argument("--stop", action="store_true")
    args = parser.parse_args()

    if args.stop:
        try:
            with open(args.port_file) as f:
                port = int(f.read().strip())
            with socket.create_connection(("127.0.0.1", port), timeout=5) as conn:
                conn.sendall(b'{"quit": true}\n')
        except (OSError, ValueError):
            pass  # already gone
        return 0

    broker = Broker()
    port = broker.listener.getsockname()[1]
    if os.fork() != 0:
        # The parent returns once the port is published, so the tests that follow find it.
        os.makedirs(os.path.dirname(os.path.abspath(args.port_file)), exist_ok=True)
        with open(args.port_file + ".tmp", "w") as f:
            f.write(f"{port}\n")
        os.replace(args.port_file + ".tmp", args.port_file)
        return 0
    os.setsid()
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    broker.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
