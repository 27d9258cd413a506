"""A network lab on this machine for tests and benchmarks: network namespaces joined by veth
pairs, links shaped with tc's tbf, processes started inside the namespaces, and everything
removed again, also when the test fails.

Needs root (CI runs as root). Nothing leaves the machine: the namespaces reach only each other,
over the pairs made here, with the addresses given here.

    with NetLab() as lab:
        origin, proxy = lab.namespace("origin"), lab.namespace("proxy")
        client = lab.namespace("client")
        lab.link(origin, "10.1.0.1", proxy, "10.1.0.2")
        lab.link(proxy, "10.2.0.1", client, "10.2.0.2")
        server = lab.start(origin, ["python3", "server.py"], stdout=subprocess.PIPE)
        lab.run(client, ["curl", "http://10.1.0.1/"])      # fails: the client has no route there

Namespaces and interfaces carry a name unique to this lab (the process id and a counter), so
labs of tests that run at the same time never meet. Processes are ended by their process
group, namespaces deleted (which removes their interfaces), in reverse order of creation.
"""

import itertools
import os
import signal
import subprocess
import time

_labs = itertools.count()
COMMAND_TIMEOUT = 30  # seconds, for each ip or tc command
STOP_TIMEOUT = 10  # seconds a process gets after SIGTERM before SIGKILL


def require_root():
    """Fails loudly unless the lab can be built: root, ip and tc."""
    if os.geteuid() != 0:
        raise RuntimeError("the network lab needs root (ip netns, veth pairs, tc)")
    for tool in ("ip", "tc"):
        if subprocess.run(["which", tool], capture_output=True).returncode != 0:
            raise RuntimeError("the network lab needs %r (iproute2): scripts/install-deps" % tool)


def _command(*argv):
    done = subprocess.run(list(argv), capture_output=True, text=True, timeout=COMMAND_TIMEOUT)
    if done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(argv), done.returncode,
                                                 done.stderr.strip()))
    return done.stdout


class NetLab:
    def __init__(self):
        require_root()
        self.tag = "q%x%x" % (os.getpid() & 0xFFFFF, next(_labs))
        self._names = itertools.count()
        self.namespaces = []
        self.processes = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def namespace(self, role):
        """A new namespace with its loopback up; returns its name."""
        name = "%s-%s" % (self.tag, role)
        _command("ip", "netns", "add", name)
        self.namespaces.append(name)
        _command("ip", "-n", name, "link", "set", "lo", "up")
        return name

    def link(self, ns_a, address_a, ns_b, address_b, prefix=24):
        """A veth pair between two namespaces, each end up with its address (/prefix).
        Returns the interface names (in ns_a, in ns_b)."""
        number = next(self._names)
        # Interface names hold at most 15 bytes; they live in the namespaces, so the same name
        # in another lab's namespaces does not clash, but the pair is made in ours first.
        dev_a, dev_b = "%sa%d" % (self.tag, number), "%sb%d" % (self.tag, number)
        _command("ip", "link", "add", dev_a, "type", "veth", "peer", "name", dev_b)
        try:
            _command("ip", "link", "set", dev_a, "netns", ns_a)
            _command("ip", "link", "set", dev_b, "netns", ns_b)
        except RuntimeError:
            subprocess.run(["ip", "link", "del", dev_a], capture_output=True,
                           timeout=COMMAND_TIMEOUT)
            raise
        for ns, dev, address in ((ns_a, dev_a, address_a), (ns_b, dev_b, address_b)):
            _command("ip", "-n", ns, "addr", "add", "%s/%d" % (address, prefix), "dev", dev)
            _command("ip", "-n", ns, "link", "set", dev, "up")
        return dev_a, dev_b

    def shape(self, ns, dev, rate, burst="256kb", latency="50ms"):
        """Caps what leaves `dev` in `ns` at `rate` (tc's units: "200mbit"). This kernel has no
        netem: delays and stalls belong in the test server."""
        _command("ip", "netns", "exec", ns, "tc", "qdisc", "replace", "dev", dev, "root", "tbf",
                 "rate", rate, "burst", burst, "latency", latency)

    def start(self, ns, argv, **popen):
        """Starts `argv` inside `ns` in a process group of its own; the lab ends it."""
        process = subprocess.Popen(["ip", "netns", "exec", ns] + list(argv),
                                   start_new_session=True, **popen)
        self.processes.append(process)
        return process

    def run(self, ns, argv, timeout=60, **kwargs):
        """Runs `argv` inside `ns` to its end (at most `timeout` seconds)."""
        kwargs.setdefault("capture_output", True)
        kwargs.setdefault("text", True)
        return subprocess.run(["ip", "netns", "exec", ns] + list(argv), timeout=timeout, **kwargs)

    def stop(self, process):
        """Ends one process the lab started (its whole group) and waits for it."""
        for sig, wait in ((signal.SIGTERM, STOP_TIMEOUT), (signal.SIGKILL, STOP_TIMEOUT)):
            if process.poll() is not None:
                break
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                break
            try:
                process.wait(timeout=wait)
            except subprocess.TimeoutExpired:
                continue
        for stream in (process.stdin, process.stdout, process.stderr):
            if stream is not None:
                stream.close()

    def close(self):
        """Ends every process, then deletes every namespace; reports what it could not."""
        problems = []
        for process in reversed(self.processes):
            try:
                self.stop(process)
            except Exception as error:  # the rest must still go
                problems.append("process %d: %s" % (process.pid, error))
        self.processes = []
        for ns in reversed(self.namespaces):
            # A namespace still held by a process lingers until it ends: a few tries.
            for attempt in range(5):
                done = subprocess.run(["ip", "netns", "del", ns], capture_output=True, text=True,
                                      timeout=COMMAND_TIMEOUT)
                if done.returncode == 0:
                    break
                time.sleep(0.2)
            else:
                problems.append("namespace %s: %s" % (ns, done.stderr.strip()))
        self.namespaces = []
        if problems:
            raise RuntimeError("network lab left behind: " + "; ".join(problems))


def wait_for_port(lab, ns, address, port, timeout=30):
    """Waits until a TCP server listens at address:port as seen from `ns`."""
    deadline = time.monotonic() + timeout
    probe = ("import socket,sys\ns=socket.socket()\ns.settimeout(1)\n"
             "sys.exit(s.connect_ex((%r,%d)))" % (address, port))
    while time.monotonic() < deadline:
        if lab.run(ns, ["python3", "-c", probe], timeout=10).returncode == 0:
            return
        time.sleep(0.2)
    raise RuntimeError("nothing listens at %s:%d in %s" % (address, port, ns))


def tinyproxy(lab, ns, folder, listen, port, allow, basic_auth=None):
    """A real forward proxy (Debian's tinyproxy) in `ns`, listening on listen:port and serving
    clients of the network `allow` (CIDR); with `basic_auth` (user, password) it answers 407
    without them. Returns (process, path of its log)."""
    config = os.path.join(folder, "tinyproxy-%d.conf" % port)
    log = os.path.join(folder, "tinyproxy-%d.log" % port)
    lines = ["Port %d" % port, "Listen %s" % listen, "Allow %s" % allow, "Timeout 60",
             "LogFile \"%s\"" % log, "LogLevel Info", "MaxClients 20", "DisableViaHeader Yes"]
    if basic_auth:
        lines.append("BasicAuth %s %s" % basic_auth)
    with open(config, "w") as f:
        f.write("\n".join(lines) + "\n")
    process = lab.start(ns, ["tinyproxy", "-d", "-c", config], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL)
    wait_for_port(lab, ns, listen, port)
    return process, log
