#!/usr/bin/env python3
"""Bridge benchmark: Lumivex sessions against socat on the same workloads, side by side.

Runs the real program headless (one process per bridge, each with its own data, ports and
runtime folders) and socat as the bridge to beat, all on 127.0.0.1, and drives them with the
same workloads in round-robin order so that load from other work on the machine falls on all
bridges alike. Every figure is the median of --reps runs.

Bridges, per kind of serial side:
  virtual  Lumivex creates the virtual port COM5 (a pty behind <ports>/COM5) and serves TCP;
           socat PTY,link=<ports>/COM5,raw,echo=0 TCP-LISTEN. The benchmark is the application
           on the port (it opens the link) and the TCP client.
  real     the benchmark makes a pty pair and plays the device on its master; the slave is
           mapped as <ports>/COM5, which Lumivex opens as a real serial port; socat opens the
           same kind of slave with FILE:<slave>,raw,echo=0.

Workloads: throughput each way (--mb MB of random bytes, every byte value, checked by count
and SHA-256 on the far side), round trips of 16-byte ping-pongs (sent on TCP, echoed by the
device/application), a Modbus-like poll (8-byte request, 50-byte reply, one at a time), the
bridge's CPU time per MB and peak memory (VmHWM), and the idle cost of --idle-sessions active
virtual-port servers, unused, then with an application and a client on each but nothing moving.

Standard library only. Exit status: 0 when every target holds, 1 when one fails, 2 on a setup
error.
"""

import argparse
import ctypes
import hashlib
import os
import random
import select
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import termios
import time
import tty
from functools import partial

print = partial(print, flush=True)  # progress on stderr and tables on stdout keep their order

COM = 5  # the COM number of the benchmarked session
STALL_SECONDS = 10.0  # no byte moved for this long: the transfer has stalled
TRANSFER_SECONDS = 60.0  # bound on one throughput run
OP_SECONDS = 5.0  # bound on one ping or poll
START_SECONDS = 20.0  # bound on a bridge's start-up
CHUNK = 65536  # bytes per write of the transfer sender
PR_SET_PDEATHSIG = 1
LUMIVEX_BUFFERS = {"1MiB": 9, "8192": 2}  # label -> BufferSize list index


class BenchError(Exception):
    """A run that failed: bytes lost, added or changed, or a bridge that went away."""


class BenchTimeout(BenchError):
    """A run that did not finish in time: a stall, a bridge far too slow, or the budget spent."""


# ---------------------------------------------------------------------------------------------
# /proc readings of a bridge process (all its threads)


def task_ids(pid):
    try:
        return os.listdir(f"/proc/{pid}/task")
    except FileNotFoundError:
        return []


def schedstat_ns(pid, field):
    """A schedstat field summed over every thread, in ns: 0 the CPU time used, 1 the time spent
    runnable but waiting for a CPU."""
    total = 0
    for tid in task_ids(pid):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[field])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def cpu_ns(pid):
    return schedstat_ns(pid, 0)


def context_switches(pid):
    """Voluntary plus involuntary context switches of every thread: the process's wake-ups."""
    total = 0
    for tid in task_ids(pid):
        try:
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith(("voluntary_ctxt_switches:",
                                        "nonvoluntary_ctxt_switches:")):
                        total += int(line.split()[1])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return total


def vm_hwm_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def listening_ports():
    """Local TCP ports in LISTEN state on 127.0.0.1 (from /proc/net/tcp)."""
    ports = set()
    with open("/proc/net/tcp") as f:
        next(f)
        for line in f:
            fields = line.split()
            address, state = fields[1], fields[3]
            if state == "0A" and address.startswith("0100007F:"):
                ports.add(int(address.split(":")[1], 16))
    return ports


def free_ports(count):
    holders = []
    try:
        for _ in range(count):
            s = socket.socket()
            s.bind(("127.0.0.1", 0))
            holders.append(s)
        return [s.getsockname()[1] for s in holders]
    finally:
        for s in holders:
            s.close()


# ---------------------------------------------------------------------------------------------
# byte moving with bounds


class Budget:
    """The whole run's time bound: once it is spent, every wait fails at once, so that the
    remaining workloads end quickly as failures instead of running on."""

    end = float("inf")

    @classmethod
    def spent(cls):
        return time.monotonic() > cls.end

    @classmethod
    def deadline(cls, seconds):
        if cls.spent():
            raise BenchTimeout("the run's time budget (--max-minutes) is spent")
        return min(time.monotonic() + seconds, cls.end)


def wait_fd(fd, events, deadline):
    p = select.poll()
    p.register(fd, events)
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            raise BenchTimeout("timed out")
        got = p.poll(left * 1000)
        if got:
            return got[0][1]


def write_all(fd, data, deadline):
    view = memoryview(data)
    while view:
        try:
            n = os.write(fd, view)
            view = view[n:]
        except BlockingIOError:
            wait_fd(fd, select.POLLOUT, deadline)


def read_exact(fd, size, deadline):
    parts = []
    while size > 0:
        try:
            chunk = os.read(fd, size)
        except BlockingIOError:
            ev = wait_fd(fd, select.POLLIN, deadline)
            if ev & select.POLLIN:
                continue
            raise BenchError("peer closed")
        if not chunk:
            raise BenchError("peer closed")
        parts.append(chunk)
        size -= len(chunk)
    return b"".join(parts)


def drain(fd, seconds):
    """Reads whatever arrives within seconds; returns the byte count."""
    got = 0
    deadline = time.monotonic() + seconds
    p = select.poll()
    p.register(fd, select.POLLIN)
    while True:
        left = deadline - time.monotonic()
        if left <= 0 or not p.poll(left * 1000):
            return got
        try:
            chunk = os.read(fd, 1 << 18)
        except (BlockingIOError, OSError):
            return got
        if not chunk:
            return got
        got += len(chunk)


def set_raw(fd):
    tty.setraw(fd)
    attrs = termios.tcgetattr(fd)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(fd, termios.TCSANOW, attrs)


# ---------------------------------------------------------------------------------------------
# bridges


class Bridge:
    """One bridge process with its peer ends: `net` (our TCP connection) and `dev` (our end of
    the serial side: the application's open of a virtual port, or the device's pty master)."""

    def __init__(self, impl, kind, buffer_label, root):
        self.impl, self.kind, self.buffer_label = impl, kind, buffer_label
        self.name = f"{impl} {buffer_label}" if impl == "lumivex" else impl
        self.dir = tempfile.mkdtemp(prefix=f"{impl}-{kind}-", dir=root)
        self.port = free_ports(1)[0]
        self.proc = None
        self.net = self.dev = self.sock = None
        self.keep = []  # fds held for the bridge's life (a real port's slave)
        self.hwm_kib = 0
        self.failures = []

    # -- start and connect

    def start(self, lumivex, socat):
        ports = os.path.join(self.dir, "ports")
        os.makedirs(ports)
        link = os.path.join(ports, f"COM{COM}")
        slave_path = None
        if self.kind == "real":
            master, slave = os.openpty()
            set_raw(slave)
            os.set_blocking(master, False)
            self.dev = master
            self.keep.append(slave)  # so that the master never reads hang-up between opens
            slave_path = os.ttyname(slave)
        if self.impl == "lumivex":
            if slave_path:
                os.symlink(slave_path, link)
            self.proc = start_lumivex(
                lumivex, self.dir, ports,
                [session_keys(COM, self.port, self.kind == "virtual",
                              LUMIVEX_BUFFERS[self.buffer_label])])
        else:
            serial = (f"PTY,link={link},raw,echo=0" if self.kind == "virtual"
                      else f"FILE:{slave_path},raw,echo=0")
            self.proc = spawn(
                [socat, serial, f"TCP-LISTEN:{self.port},bind=127.0.0.1,reuseaddr"],
                os.path.join(self.dir, "stderr"))
        deadline = time.monotonic() + START_SECONDS
        need_link = self.kind == "virtual"  # a real port's link, if any, is ours
        while not (self.port in listening_ports() and (os.path.lexists(link) or not need_link)):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise BenchError(f"{self.label()} did not start: {self.stderr_tail()}")
            time.sleep(0.05)
        if self.impl == "lumivex" and self.kind == "real":
            wait_for_lines(self, "COM Status: Open", 1, deadline)

    def connect(self):
        try:
            self.open_ends()
        except OSError as e:
            state = "running" if self.alive() else f"ended ({self.proc.returncode})"
            raise BenchError(f"{self.label()}: cannot open its ends ({e}); the process is "
                             f"{state}: {self.stderr_tail()}") from e

    def open_ends(self):
        if self.kind == "virtual":
            fd = os.open(os.path.join(self.dir, "ports", f"COM{COM}"),
                         os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
            set_raw(fd)
            self.dev = fd
            time.sleep(0.3)  # the bridge learns that an application holds the port
        s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        s.setblocking(False)
        self.sock = s
        self.net = s.fileno()
        time.sleep(0.3)  # the bridge accepts the connection
        # Both ways once: the bridge is up end to end before anything is measured.
        deadline = Budget.deadline(OP_SECONDS)
        write_all(self.net, b"hello", deadline)
        if read_exact(self.dev, 5, deadline) != b"hello":
            raise BenchError(f"{self.label()}: warm-up bytes changed")
        write_all(self.dev, b"olleh", deadline)
        if read_exact(self.net, 5, deadline) != b"olleh":
            raise BenchError(f"{self.label()}: warm-up bytes changed")

    def label(self):
        return f"{self.name} ({self.kind})"

    def failed(self, timing):
        """The failures of one sort: timing (stalls, time-outs) or the others."""
        return [text for is_timing, text in self.failures if is_timing == timing]

    def stderr_text(self):
        try:
            with open(os.path.join(self.dir, "stderr"), errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def stderr_tail(self):
        return self.stderr_text()[-600:]

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def stop(self):
        if self.alive():
            try:
                self.hwm_kib = vm_hwm_kib(self.proc.pid)
            except FileNotFoundError:
                pass
        for fd in [self.dev] + self.keep:
            if fd is not None:
                try:
                    os.close(fd)
                except OSError:
                    pass
        if self.sock:
            self.sock.close()
        self.dev, self.keep, self.sock = None, [], None
        stop_process(self.proc)


def session_keys(com, port, virtual, buffer_index):
    return {
        "Connector": com, "CreateVirtualPort": int(virtual), "UseUDP": 0, "TCPOption": 1,
        "LocalIP": "127.0.0.1", "PortNumber": port, "BufferSize": buffer_index,
        "AutoActivate": 1, "BaudRate": 12, "Parity": 0, "Databits": 3, "Stopbits": 0,
        "FlowControl": 0, "BufferSerialData": 0, "WaitForCr": 0, "AllowMultiConnect": 1,
    }


def start_lumivex(program, folder, ports, sessions):
    """program: the program, or a command line that runs it (e.g. under prlimit)."""
    home = os.path.join(folder, "home")
    runtime = os.path.join(folder, "run")
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700)
    lines = ["[Lumivex]", f"NumSessions={len(sessions)}", "LogErrors=0"]
    for n, keys in enumerate(sessions, 1):
        lines.append(f"[Session{n}]")
        lines += [f"{k}={v}" for k, v in keys.items()]
    with open(os.path.join(home, "default.lvx"), "w") as f:
        f.write("\n".join(lines) + "\n")
    env = dict(os.environ, LUMIVEX_HEADLESS="1", LUMIVEX_HOME=home, LUMIVEX_PORTS=ports,
               XDG_RUNTIME_DIR=runtime)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    argv = program if isinstance(program, list) else [program]
    return spawn(argv, os.path.join(folder, "stderr"), env=env, cwd=folder)


def wait_for_lines(bridge, text, count, deadline):
    while bridge.stderr_text().count(text) < count:
        if not bridge.alive() or time.monotonic() > deadline:
            raise BenchError(f"{bridge.label()}: no '{text}' x{count}: {bridge.stderr_tail()}")
        time.sleep(0.1)


def end_with_parent():
    """In a child before exec: SIGTERM when the benchmark dies, even by SIGKILL."""
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGTERM)


def spawn(argv, stderr_path, **popen_args):
    """A bridge process: no input, its stderr kept in a file, ended when the benchmark ends."""
    with open(stderr_path, "wb") as stderr:
        return subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=stderr, preexec_fn=end_with_parent, **popen_args)


def stop_process(proc):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(5)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


# ---------------------------------------------------------------------------------------------
# workloads; each returns a dict of figures or raises BenchError


def transfer(bridge, direction, data, digest):
    """Sends data one way as fast as both ends go; the far side counts and hashes it."""
    src, dst = (bridge.net, bridge.dev) if direction == "net>ser" else (bridge.dev, bridge.net)
    total = len(data)
    view = memoryview(data)
    sha = hashlib.sha256()
    sent = received = 0
    p = select.poll()
    p.register(src, select.POLLOUT)
    p.register(dst, select.POLLIN)
    pid = bridge.proc.pid
    cpu0, switches0 = cpu_ns(pid), context_switches(pid)
    deadline = Budget.deadline(TRANSFER_SECONDS)
    t0 = last_progress = time.perf_counter()
    while received < total:
        events = p.poll(500)
        now = time.perf_counter()
        if time.monotonic() > deadline:
            raise BenchTimeout(f"{direction} too slow: {received} of {total} bytes after "
                             f"{now - t0:.0f} s")
        if now - last_progress > STALL_SECONDS:
            raise BenchTimeout(f"{direction} stalled: sent {sent} of {total} bytes, "
                             f"received {received}")
        for fd, ev in events:
            if fd == dst:
                if ev & select.POLLIN:
                    try:
                        chunk = os.read(dst, 1 << 18)
                    except BlockingIOError:
                        continue
                    if not chunk:
                        raise BenchError(f"{direction}: far side closed after {received} bytes")
                    sha.update(chunk)
                    received += len(chunk)
                    last_progress = now
                elif ev & (select.POLLHUP | select.POLLERR):
                    raise BenchError(f"{direction}: far side hung up after {received} bytes")
            elif ev & select.POLLOUT:
                try:
                    sent += os.write(src, view[sent:sent + CHUNK])
                except BlockingIOError:
                    continue
                last_progress = now
                if sent == total:
                    p.unregister(src)
    seconds = time.perf_counter() - t0
    cpu = (cpu_ns(pid) - cpu0) / 1e9
    switches = context_switches(pid) - switches0
    extra = drain(dst, 0.1)
    if received != total or extra:
        raise BenchError(f"{direction}: {received + extra} bytes arrived for {total} sent")
    if sha.digest() != digest:
        raise BenchError(f"{direction}: SHA-256 differs (bytes changed or reordered)")
    megabytes = total / 1e6
    return {"mbps": megabytes / seconds, "cpu_per_mb": cpu / megabytes,
            "wakeups_per_mb": switches / megabytes}


def ping_pong(bridge, count, first=0):
    """16 bytes out on TCP, echoed at once by the serial end; the round-trip times in us."""
    times = []
    for i in range(first, first + count):
        payload = bytes((i * 16 + k) % 256 for k in range(16))
        deadline = Budget.deadline(OP_SECONDS)
        t0 = time.perf_counter_ns()
        write_all(bridge.net, payload, deadline)
        echoed = read_exact(bridge.dev, 16, deadline)
        write_all(bridge.dev, echoed, deadline)
        back = read_exact(bridge.net, 16, deadline)
        times.append((time.perf_counter_ns() - t0) / 1000)
        if back != payload:
            raise BenchError(f"ping {i}: reply differs")
    return times


def percentiles(times):
    times = sorted(times)
    return {"p50": times[len(times) // 2],
            "p99": times[min(len(times) - 1, len(times) * 99 // 100)]}


def modbus_poll(bridge, count, seed=0):
    """One request at a time: 8 bytes from the poller, 50 bytes back from the responder. The
    poller is the application on a virtual port (responder on TCP), and the TCP client for a
    real port (the device responds). Returns (polls, seconds, bridge CPU ns, bridge wake-ups)."""
    poller, responder = ((bridge.dev, bridge.net) if bridge.kind == "virtual"
                         else (bridge.net, bridge.dev))
    rng = random.Random(seed)
    exchanges = [(rng.randbytes(8), rng.randbytes(50)) for _ in range(count)]
    pid = bridge.proc.pid
    cpu0, switches0 = cpu_ns(pid), context_switches(pid)
    t0 = time.perf_counter()
    for i, (request, reply) in enumerate(exchanges):
        deadline = Budget.deadline(OP_SECONDS)
        write_all(poller, request, deadline)
        if read_exact(responder, 8, deadline) != request:
            raise BenchError(f"poll {i}: request differs")
        write_all(responder, reply, deadline)
        if read_exact(poller, 50, deadline) != reply:
            raise BenchError(f"poll {i}: reply differs")
    seconds = time.perf_counter() - t0
    return count, seconds, cpu_ns(pid) - cpu0, context_switches(pid) - switches0


class Workload:
    """A workload run in `blocks` slices, each bridge's slice in turn, so that short bursts of
    load from elsewhere fall on every bridge alike; `combine` makes one result of the slices."""

    def __init__(self, name, run, blocks=1, combine=lambda parts: parts[0]):
        self.name, self.run, self.blocks, self.combine = name, run, blocks, combine


def combine_polls(parts):
    polls, seconds, cpu, switches = (sum(column) for column in zip(*parts))
    return {"polls": polls / seconds, "cpu_per_poll": cpu / 1000 / polls,
            "wakeups_per_poll": switches / polls}


def latency_workloads(args, share=1.0, prefix=""):
    blocks = 10
    pings = max(int(args.pings * share) // blocks, 1)
    polls = max(int(args.polls * share) // blocks, 1)
    return [
        Workload(prefix + "ping", lambda b, i: ping_pong(b, pings, i * pings), blocks,
                 lambda parts: percentiles([t for part in parts for t in part])),
        Workload(prefix + "poll", lambda b, i: modbus_poll(b, polls, i), blocks,
                 combine_polls),
    ]


# ---------------------------------------------------------------------------------------------
# idle cost


def hold_ends(ports_dir, ports):
    """An application holding each virtual port and a client connected to each server; one
    byte goes each way through every bridge so that each is known to be joined up."""
    fds, clients = [], []
    deadline = Budget.deadline(OP_SECONDS)
    for i, port in enumerate(ports):
        fd = os.open(os.path.join(ports_dir, f"COM{i + 1}"),
                     os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(fd)
        fds.append(fd)
        clients.append(socket.create_connection(("127.0.0.1", port), timeout=OP_SECONDS))
        clients[-1].setblocking(False)
    for fd, client in zip(fds, clients):
        write_all(client.fileno(), b"n", deadline)
        write_all(fd, b"s", deadline)
        if read_exact(fd, 1, deadline) != b"n" or read_exact(client.fileno(), 1, deadline) != b"s":
            raise BenchError("idle: a bridge did not pass its byte")
    return fds, clients


def idle_cost(args, root, impl, held):
    """CPU share of one core and wake-ups per second of N active virtual-port servers, unused or
    with an application and a client on each (held) but nothing moving; medians of three
    windows."""
    n = args.idle_sessions
    folder = tempfile.mkdtemp(prefix=f"idle-{impl}-", dir=root)
    ports_dir = os.path.join(folder, "ports")
    os.makedirs(ports_dir)
    ports = free_ports(n)
    procs = []
    ends = ([], [])
    try:
        if impl == "lumivex":
            sessions = [session_keys(i + 1, ports[i], True, 2) for i in range(n)]
            proc = start_lumivex(args.lumivex, folder, ports_dir, sessions)
            procs.append(proc)
        else:
            for i in range(n):
                procs.append(spawn(
                    [args.socat, f"PTY,link={ports_dir}/COM{i + 1},raw,echo=0",
                     f"TCP-LISTEN:{ports[i]},bind=127.0.0.1,reuseaddr"], os.devnull))
        deadline = time.monotonic() + START_SECONDS + n * 0.2
        while not set(ports) <= listening_ports():
            if any(p.poll() is not None for p in procs) or time.monotonic() > deadline:
                raise BenchError(f"idle {impl}: the {n} servers did not all start listening")
            time.sleep(0.2)
        if held:
            ends = hold_ends(ports_dir, ports)
        time.sleep(2)  # past the start-up work
        pids = [p.pid for p in procs]
        windows = []
        for _ in range(3):
            c0, w0, t0 = sum(map(cpu_ns, pids)), sum(map(context_switches, pids)), time.monotonic()
            time.sleep(args.idle_seconds / 3)
            c1, w1, t1 = sum(map(cpu_ns, pids)), sum(map(context_switches, pids)), time.monotonic()
            windows.append(((c1 - c0) / 1e9 / (t1 - t0) * 100, (w1 - w0) / (t1 - t0)))
        hwm = sum(vm_hwm_kib(pid) for pid in pids)
        return {"cpu_pct": statistics.median(w[0] for w in windows),
                "wakeups": statistics.median(w[1] for w in windows),
                "hwm_mib": hwm / 1024, "processes": len(procs)}
    finally:
        for fd in ends[0]:
            os.close(fd)
        for client in ends[1]:
            client.close()
        for p in procs:
            if p.poll() is None:
                p.terminate()
        for p in procs:
            stop_process(p)


# ---------------------------------------------------------------------------------------------
# report


def fmt(value):
    """Three significant digits or so, whatever the magnitude."""
    if value is None:
        return "-"
    if abs(value) >= 100:
        return f"{value:.0f}"
    if abs(value) >= 0.1:
        return f"{value:.2f}"
    return f"{value:.4f}"


def fmt_ratio(value):
    return "-" if value is None else f"{value:.2f}"


def median_of(results, bridge, key, pick=statistics.median):
    values = [r[key] for r in results.get(bridge, []) if key in r]
    return pick(values) if values else None


ROWS = [  # label, workload, key, better ("hi" or "lo"), target ratio or None[, pick]
    ("throughput net>serial MB/s", "net>ser", "mbps", "hi", 0.8),
    ("throughput serial>net MB/s", "ser>net", "mbps", "hi", 0.8),
    # The best run: what a bridge can do when nothing else gets in its way.
    ("  best run net>serial MB/s", "net>ser", "mbps", "hi", None, max),
    ("  best run serial>net MB/s", "ser>net", "mbps", "hi", None, max),
    ("round trip p50 us", "ping", "p50", "lo", 1.5),
    ("round trip p99 us", "ping", "p99", "lo", None),
    ("polls per second", "poll", "polls", "hi", 0.9),
    ("CPU s/MB net>serial", "net>ser", "cpu_per_mb", "lo", None),
    ("CPU s/MB serial>net", "ser>net", "cpu_per_mb", "lo", None),
    ("wake-ups/MB net>serial", "net>ser", "wakeups_per_mb", "lo", None),
    ("wake-ups/MB serial>net", "ser>net", "wakeups_per_mb", "lo", None),
    ("CPU us per poll", "poll", "cpu_per_poll", "lo", None),
    ("wake-ups per poll", "poll", "wakeups_per_poll", "lo", None),
]


def report(kind, bridges, results, checks):
    socat = next(b for b in bridges if b.impl == "socat")
    ours = [b for b in bridges if b.impl == "lumivex"]
    title = ("virtual port COM5 <-> TCP server" if kind == "virtual"
             else "real port COM5 (pty device) <-> TCP server")
    heads = [b.name for b in ours] + ["socat"] + [f"x socat ({b.buffer_label})" for b in ours]
    print(f"\n== {title}  (median of {checks['reps']} runs)")
    print(f"{'':30}" + "".join(f"{h:>16}" for h in heads) + f"{'target':>12}")
    for label, work, key, better, target, *pick in ROWS:
        pick = pick[0] if pick else statistics.median
        base = median_of(results, (socat, work), key, pick)
        cells, ratios = [], []
        for b in ours + [socat]:
            cells.append(fmt(median_of(results, (b, work), key, pick)))
        for b in ours:
            v = median_of(results, (b, work), key, pick)
            ratio = v / base if v is not None and base else None
            ratios.append(ratio)
            cells.append(fmt_ratio(ratio))
        tgt = ""
        if target is not None:
            tgt = (">= " if better == "hi" else "<= ") + f"{target}x"
            # Targets bind the 1 MiB buffer for throughput, the default for the rest too.
            for b, ratio in zip(ours, ratios):
                if work in ("net>ser", "ser>net") and b.buffer_label != "1MiB":
                    continue
                ok = ratio is not None and (ratio >= target if better == "hi" else ratio <= target)
                checks["lines"].append((ok, f"{kind} {b.name}: {label} ratio "
                                            f"{fmt_ratio(ratio)} (target {tgt})"))
        print(f"{label:30}" + "".join(f"{c:>16}" for c in cells) + f"{tgt:>12}")
        if checks["each_run"] and pick is statistics.median:
            for b in ours + [socat]:
                runs = [fmt(r[key]) for r in results.get((b, work), []) if key in r]
                print(f"    {b.name:26}" + " ".join(runs))
    cells = [f"{b.hwm_kib / 1024:.1f}" for b in ours + [socat]]
    cells += [f"{b.hwm_kib / socat.hwm_kib:.1f}" if socat.hwm_kib else "-" for b in ours]
    print(f"{'peak memory MiB (VmHWM)':30}" + "".join(f"{c:>16}" for c in cells))
    for label, timing in (("all bytes intact, every run", False), ("every run in time", True)):
        cells = ["FAIL" if b.failed(timing) else "OK" for b in ours + [socat]]
        print(f"{label:30}" + "".join(f"{c:>16}" for c in cells))
    for b in ours + [socat]:
        for what, timing in (("nothing lost or changed", False), ("every run finished", True)):
            bad = b.failed(timing)
            checks["lines"].append((not bad, f"{kind} {b.name}: {what}"
                                    + ("" if not bad else ": " + "; ".join(bad))))


# ---------------------------------------------------------------------------------------------


def run_round(bridges, workloads, name, results):
    """Each workload on every bridge in turn (slice by slice)."""
    for work in workloads:
        if Budget.spent():
            print(f"  {name} {work.name}: skipped, the time budget is spent", file=sys.stderr)
            continue
        parts = {b: [] for b in bridges if b.alive()}
        for block in range(work.blocks):
            for b in list(parts):
                try:
                    parts[b].append(work.run(b, block))
                except (BenchError, OSError) as e:
                    del parts[b]
                    b.failures.append((isinstance(e, BenchTimeout), f"{name} {work.name}: {e}"))
                    print(f"  FAIL {b.label()} {name} {work.name}: {e}", file=sys.stderr)
                    # Resynchronise: throw away what is still in flight both ways.
                    drain(b.net, 1.0)
                    drain(b.dev, 1.0)
                    if not b.alive():
                        b.failures.append((False, f"the process ended ({b.proc.returncode})"))
        for b, got in parts.items():
            results.setdefault((b, work.name), []).append(work.combine(got))


def run_kind(args, root, kind, data, digest, checks):
    bridges = [Bridge("lumivex", kind, label, root) for label in LUMIVEX_BUFFERS]
    bridges.append(Bridge("socat", kind, "", root))
    results = {}
    try:
        for b in bridges:
            b.start(args.lumivex, args.socat)
        for b in bridges:
            b.connect()
        warm_data = data[: len(data) // 10]
        warm_digest = hashlib.sha256(warm_data).digest()

        def transfers(payload, sha, prefix=""):
            return [Workload(prefix + way, lambda b, _, way=way: transfer(b, way, payload, sha))
                    for way in ("net>ser", "ser>net")]

        # One round not measured: first connections, caches, TCP windows.
        warm_up = transfers(warm_data, warm_digest, "warm-up ")
        run_round(bridges, warm_up + latency_workloads(args, 0.1, "warm-up "), "warm-up", {})
        workloads = transfers(data, digest) + latency_workloads(args)
        for rep in range(args.reps):
            turn = rep % len(bridges)  # who goes first changes from run to run
            run_round(bridges[turn:] + bridges[:turn], workloads, f"run {rep + 1}", results)
            print(f"  {kind}: run {rep + 1} of {args.reps} done", file=sys.stderr)
    finally:
        for b in bridges:
            b.stop()
    report(kind, bridges, results, checks)


def report_targets(lines, started):
    """One line per target, (ok, text); the exit status: 1 when any failed."""
    print(f"\n== targets ({time.monotonic() - started:.0f} s)")
    for ok, line in lines:
        print(("  pass  " if ok else "  FAIL  ") + line)
    return 0 if all(ok for ok, _ in lines) else 1


def stop_on_signal(number, _frame):
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    print(f"bridge-bench: stopped by signal {number}; cleaning up", file=sys.stderr)
    sys.exit(128 + number)


def report_idle(args, root, held, checks):
    who = "an application and a client on each, nothing moving" if held else "nobody connected"
    print(f"\n== idle: {args.idle_sessions} active virtual-port TCP servers, {who} "
          f"(median of 3 windows of {args.idle_seconds / 3:.0f} s)")
    ours = idle_cost(args, root, "lumivex", held)
    theirs = idle_cost(args, root, "socat", held)
    print(f"{'':30}{'lumivex':>16}{'socat':>16}{'target':>12}")
    print(f"{'processes':30}{ours['processes']:>16}{theirs['processes']:>16}")
    print(f"{'CPU % of one core':30}{ours['cpu_pct']:>16.3f}{theirs['cpu_pct']:>16.3f}{'< 1%':>12}")
    print(f"{'wake-ups per second':30}{ours['wakeups']:>16.1f}{theirs['wakeups']:>16.1f}"
          f"{'<= 5':>12}")
    print(f"{'peak memory MiB (sum)':30}{ours['hwm_mib']:>16.1f}{theirs['hwm_mib']:>16.1f}")
    label = "held" if held else "idle"
    checks["lines"].append((ours["cpu_pct"] < 1.0, f"{label}: {args.idle_sessions} sessions "
                            f"use {ours['cpu_pct']:.3f}% of a core (target < 1%)"))
    checks["lines"].append((ours["wakeups"] <= 5, f"{label}: {args.idle_sessions} sessions "
                            f"wake {ours['wakeups']:.1f} times a second (target <= 5)"))


def arguments(doc):
    """The options every benchmark against socat takes."""
    ap = argparse.ArgumentParser(description=doc.split("\n")[0])
    ap.add_argument("--lumivex", required=True, help="the lumivex program")
    ap.add_argument("--socat", default=shutil.which("socat") or "socat")
    return ap


def main():
    ap = arguments(__doc__)
    ap.add_argument("--reps", type=int, default=7)
    ap.add_argument("--mb", type=int, default=20, help="MB per throughput run")
    ap.add_argument("--pings", type=int, default=2000)
    ap.add_argument("--polls", type=int, default=2000)
    ap.add_argument("--idle-sessions", type=int, default=100)
    ap.add_argument("--idle-seconds", type=float, default=9.0)
    ap.add_argument("--only", choices=["virtual", "real", "idle"], action="append")
    ap.add_argument("--each-run", action="store_true",
                    help="print every run's figure under each median")
    ap.add_argument("--max-minutes", type=float, default=10.0,
                    help="bound on the whole run; what is left then fails")
    args = ap.parse_args()
    Budget.end = time.monotonic() + args.max_minutes * 60
    parts = args.only or ["virtual", "real", "idle"]
    args.lumivex = os.path.abspath(args.lumivex)

    # SIGINT and SIGTERM end the run: the finally blocks stop every bridge and remove the
    # temporary folder, and a second signal does not cut that short.
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    root = tempfile.mkdtemp(prefix="lumivex-bridge-bench-")
    checks = {"lines": [], "reps": args.reps, "each_run": args.each_run}
    started = time.monotonic()
    try:
        data = random.Random(20).randbytes(args.mb * 1000 * 1000)
        digest = hashlib.sha256(data).digest()
        for kind in ("virtual", "real"):
            if kind in parts:
                run_kind(args, root, kind, data, digest, checks)
        if "idle" in parts:
            for held in (False, True):
                report_idle(args, root, held, checks)
    except BenchError as e:
        print(f"bridge-bench: {e}", file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return report_targets(checks["lines"], started)


if __name__ == "__main__":
    sys.exit(main())
