#!/usr/bin/env python3
"""Scale: many virtual-port sessions at a serial line's rate, Lumivex against socat.

Each session is a virtual port COMn and a TCP server on 127.0.0.1 with a client of its own.
Every --interval s each client sends a numbered, time-stamped packet (rate x interval bytes);
the application on the port echoes every byte it reads at once, so each session carries the
rate each way. The client checks that each packet comes back unchanged and in order and takes
its round-trip time. Bridges, in the same run: one Lumivex with all sessions, Lumivex split over
--split processes (what an event loop per thread would give at best), and one socat process
per session. Figures over a --seconds window: round trip p50/p99, the bridges' CPU and their
time runnable but waiting for a CPU (all their processes and threads, % of one core), memory
per session (PSS, so that shared libraries count once), packets late (not back 2 s after the
window) and wrong (changed, lost or out of order).

The driver is --drivers processes (one epoll loop each, sessions dealt out between them); it
keeps up when its own send lateness p99 stays far below the bridges' round trip, which the
report shows beside its CPU. --steps then raises the session count or the packet rate step by
step until a bridge breaks (p99 over --p99-limit ms, or packets late or wrong).
"""

import multiprocessing
import os
import select
import shutil
import signal
import socket
import statistics
import struct
import sys
import tempfile
import time
from functools import partial

import bridge_bench as bb
from bridge_bench import BenchError, print

HEADER = struct.Struct("<IQ")  # packet number, send time in ns


def pss_kib(pid):
    with open(f"/proc/{pid}/smaps_rollup") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("Pss:"))


class Session:
    def __init__(self, app, client, size):
        self.app, self.client, self.size = app, client, size
        self.sent = []  # packets in flight, oldest first
        self.out = bytearray()  # packets the socket has not taken yet
        self.echo = bytearray()  # read from the port, not yet written back
        self.back = bytearray()  # read from TCP, not yet a whole packet
        self.number = 0

    def packet(self, now_ns):
        head = HEADER.pack(self.number, now_ns)
        self.number += 1
        body = bytes((self.number + k) & 0xFF for k in range(min(64, self.size - len(head))))
        return (head + body * (self.size // 64 + 1))[: self.size]


def send_some(write, buffer):
    """Writes what the descriptor takes now; the rest waits for the next turn."""
    try:
        del buffer[: write(buffer)]
    except BlockingIOError:
        pass


def drive(ends, size, interval, start_at, warm, seconds, results, measured):
    """One driver process: sends on schedule, echoes, checks and times the packets. The k-th
    packet of all goes out at start_at + k * interval / sessions, so sends are spread evenly."""
    # A session of its own puts the driver in a scheduler group of its own (autogroup), so
    # that the bridges under test, all in the benchmark's group, do not take its CPU share.
    os.setsid()
    sessions = [Session(os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK),
                        socket.create_connection(("127.0.0.1", port), timeout=5), size)
                for path, port in ends]
    ep = select.epoll()
    by_fd = {}
    for s in sessions:
        bb.set_raw(s.app)
        s.client.setblocking(False)
        s.client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        ep.register(s.app, select.EPOLLIN)
        ep.register(s.client.fileno(), select.EPOLLIN)
        by_fd[s.app] = (s, s.echo, s.app)
        by_fd[s.client.fileno()] = (s, s.back, None)
    rtts, late, wrong, k = [], [], 0, 0
    step = interval / len(sessions)
    end = start_at + warm + seconds
    # Packets sent from here on are measured (perf_counter_ns, the packets' clock).
    measured_ns = time.perf_counter_ns() + int((start_at + warm - time.monotonic()) * 1e9)
    cpu0 = os.times()
    while time.monotonic() < end + 2.0:  # two seconds for the last packets to come back
        now = time.monotonic()
        while start_at + k * step <= min(now, end):
            s = sessions[k % len(sessions)]
            sent_ns = time.perf_counter_ns()
            if sent_ns >= measured_ns:
                late.append(now - start_at - k * step)
            s.sent.append(s.packet(sent_ns))
            s.out += s.sent[-1]
            k += 1
            send_some(s.client.send, s.out)
        for fd, _ in ep.poll(0.002):
            s, into, echo_fd = by_fd[fd]
            try:
                into += os.read(fd, 65536)
            except BlockingIOError:
                continue
            if echo_fd is not None:  # the application echoes all it reads
                send_some(partial(os.write, echo_fd), s.echo)
                continue
            while len(s.back) >= size:
                got = bytes(s.back[:size])
                del s.back[:size]
                if not s.sent or got != s.sent.pop(0):
                    wrong += 1
                elif HEADER.unpack_from(got)[1] >= measured_ns:
                    rtts.append((time.perf_counter_ns() - HEADER.unpack_from(got)[1]) / 1e3)
    cpu1 = os.times()
    results.put({"rtts": rtts, "late": late, "wrong": wrong, "sent": k,
                 "lost": sum(len(s.sent) for s in sessions),
                 "cpu": (cpu1.user + cpu1.system - cpu0.user - cpu0.system) / (warm + seconds)})
    measured.wait(60)  # the ends stay open until the bridges have been looked at
    for s in sessions:
        os.close(s.app)
        s.client.close()


class Bridges:
    """The bridge processes of one setup, and where their ends are."""

    def __init__(self, args, root, impl, sessions, split=1):
        self.folder = tempfile.mkdtemp(prefix=f"{impl}-", dir=root)
        self.ports_dir = os.path.join(self.folder, "ports")
        os.makedirs(self.ports_dir)
        self.tcp = bb.free_ports(sessions)
        self.procs = []
        self.logs = []  # each process's stderr
        if impl == "socat":
            for i, port in enumerate(self.tcp):
                self.logs.append(os.path.join(self.folder, f"stderr{i + 1}"))
                self.procs.append(bb.spawn(
                    [args.socat, f"PTY,link={self.ports_dir}/COM{i + 1},raw,echo=0",
                     f"TCP-LISTEN:{port},bind=127.0.0.1,reuseaddr"],
                    self.logs[-1]))
        else:
            per = -(-sessions // split)
            for p in range(split):
                keys = [bb.session_keys(i + 1, self.tcp[i], True, 2)
                        for i in range(p * per, min(sessions, (p + 1) * per))]
                sub = os.path.join(self.folder, f"p{p}")
                os.makedirs(sub)
                self.logs.append(os.path.join(sub, "stderr"))
                self.procs.append(bb.start_lumivex(args.lumivex, sub, self.ports_dir, keys))
        deadline = time.monotonic() + bb.START_SECONDS + sessions * 0.05
        while not set(self.tcp) <= bb.listening_ports():
            if any(p.poll() is not None for p in self.procs) or time.monotonic() > deadline:
                raise BenchError(f"{impl}: the {sessions} servers did not all start listening")
            time.sleep(0.2)

    def ends(self):
        return [(os.path.join(self.ports_dir, f"COM{i + 1}"), port)
                for i, port in enumerate(self.tcp)]

    def cpu_ns(self):
        return sum(bb.cpu_ns(p.pid) for p in self.procs)

    def queued_ns(self):
        return sum(bb.schedstat_ns(p.pid, 1) for p in self.procs)

    def pss_kib(self):
        return sum(pss_kib(p.pid) for p in self.procs if p.poll() is None)

    def ended(self):
        """What ended during the run: how many processes, and the last words of the first."""
        gone = [i for i, p in enumerate(self.procs) if p.poll() is not None]
        if not gone:
            return ""
        with open(self.logs[gone[0]], errors="replace") as f:
            words = f.read()[-300:].strip()
        return f"{len(gone)} ended, the first ({self.procs[gone[0]].returncode}): {words}"

    def stop(self):
        for p in self.procs:
            if p.poll() is None:
                p.terminate()
        for p in self.procs:
            bb.stop_process(p)


def measure(args, root, impl, sessions, rate, split=1):
    size = max(int(rate * args.interval), HEADER.size)
    bridges = Bridges(args, root, impl, sessions, split)
    workers = []
    try:
        ends = bridges.ends()
        results, measured = multiprocessing.Queue(), multiprocessing.Event()
        start_at = time.monotonic() + 1.0 + sessions * 0.004
        warm = 3.0  # first connections and TCP windows, not measured
        for d in range(args.drivers):
            w = multiprocessing.Process(target=drive, args=(
                ends[d::args.drivers], size, args.interval, start_at, warm, args.seconds,
                results, measured))
            w.start()
            workers.append(w)
        time.sleep(max(0.0, start_at + warm - time.monotonic()))
        cpu0, queued0, t0 = bridges.cpu_ns(), bridges.queued_ns(), time.monotonic()
        time.sleep(args.seconds)
        took = time.monotonic() - t0
        cpu = (bridges.cpu_ns() - cpu0) / 1e9 / took
        queued = (bridges.queued_ns() - queued0) / 1e9 / took
        pss = bridges.pss_kib()
        ended = bridges.ended()
        measured.set()
        parts = [results.get(timeout=60) for _ in workers]
    finally:
        for w in workers:
            w.join(5)
            if w.is_alive():
                w.kill()
                w.join()
        bridges.stop()
        shutil.rmtree(bridges.folder, ignore_errors=True)
    rtts = sorted(t for p in parts for t in p["rtts"])
    late = sorted(t for p in parts for t in p["late"])
    if not rtts:
        raise BenchError(f"{impl}: no packet came back")
    def pick(values, q):
        return values[min(len(values) - 1, int(len(values) * q))]

    return {"p50": pick(rtts, 0.5) / 1e3, "p99": pick(rtts, 0.99) / 1e3, "cpu": cpu * 100,
            "queued": queued * 100, "ended": ended,
            "pss_session": pss / sessions, "lost": sum(p["lost"] for p in parts),
            "wrong": sum(p["wrong"] for p in parts), "sent": sum(p["sent"] for p in parts),
            "late_p99": pick(late, 0.99) * 1e3,
            "driver_cpu": max(p["cpu"] for p in parts) * 100}


def row(label, sessions, rate, m):
    print(f"{label:22}{sessions:>6}{rate / 1000:>8.1f}{m['p50']:>9.2f}{m['p99']:>9.2f}"
          f"{m['cpu']:>8.1f}{m['queued']:>8.1f}{m['pss_session']:>9.1f}"
          f"{m['lost']:>7}{m['wrong']:>7}{m['sent']:>9}"
          f"{m['late_p99']:>9.2f}{m['driver_cpu']:>8.1f}")
    if m["ended"]:
        print(f"  {label}: processes ended during the run: {m['ended']}")


def header():
    print(f"{'bridge':22}{'sess':>6}{'KB/s':>8}{'p50 ms':>9}{'p99 ms':>9}{'CPU %':>8}"
          f"{'wait %':>8}{'KiB/ses':>9}{'late':>7}{'wrong':>7}{'packets':>9}{'drv lag':>9}"
          f"{'drv %':>8}")


def main():
    ap = bb.arguments(__doc__)
    ap.add_argument("--sessions", type=int, default=500)
    ap.add_argument("--rate", type=float, default=11520.0, help="bytes/s each way per session")
    ap.add_argument("--interval", type=float, default=0.05, help="seconds between packets")
    ap.add_argument("--seconds", type=float, default=20.0, help="measured window")
    ap.add_argument("--drivers", type=int, default=2, help="driver processes")
    ap.add_argument("--split", type=int, default=2, help="Lumivex processes in the split run")
    ap.add_argument("--bridges", default="lumivex,split,socat",
                    help="which bridges run, of lumivex, split and socat")
    ap.add_argument("--steps", default="",
                    help="then sessions:multiple steps, e.g. '1000:1 1000:2 1000:4', each at "
                         "multiple x the packet rate, until one breaks")
    ap.add_argument("--p99-limit", type=float, default=1000.0, help="ms; more is broken")
    args = ap.parse_args()
    args.lumivex = os.path.abspath(args.lumivex)
    signal.signal(signal.SIGTERM, bb.stop_on_signal)
    signal.signal(signal.SIGINT, bb.stop_on_signal)
    root = tempfile.mkdtemp(prefix="lumivex-scale-")
    bridges = {"lumivex": ("lumivex", "lumivex", 1),
               "split": (f"lumivex x{args.split} processes", "lumivex", args.split),
               "socat": ("socat (one per session)", "socat", 1)}
    chosen = [bridges[name] for name in args.bridges.split(",")]
    interval = args.interval
    try:
        print(f"scale: {args.rate:.0f} B/s each way a session, a packet every "
              f"{interval * 1000:.0f} ms, {args.seconds:.0f} s windows, "
              f"{args.drivers} driver processes")
        header()
        for step in [f"{args.sessions}:1"] + args.steps.split():
            n, multiple = (float(x) for x in step.split(":"))
            args.interval = interval / multiple  # more packets of the same size
            got = {}
            for label, impl, split in chosen:
                got[label] = measure(args, root, impl, int(n), args.rate * multiple, split)
                row(label, int(n), args.rate * multiple, got[label])
            ours, theirs = got.get("lumivex"), got.get("socat (one per session)")
            if ours and theirs:
                print(f"  lumivex/socat: CPU {ours['cpu'] / theirs['cpu']:.2f}, "
                      f"p99 {ours['p99'] / theirs['p99']:.2f}, "
                      f"p50 {ours['p50'] / theirs['p50']:.2f}, "
                      f"memory per session {ours['pss_session'] / theirs['pss_session']:.2f}")
            if any(m["p99"] > args.p99_limit or m["lost"] + m["wrong"] or m["ended"]
                   for m in got.values()):
                print(f"  broken at {step}: p99 over {args.p99_limit:.0f} ms, or packets late "
                      "or wrong")
                break
    except BenchError as e:
        print(f"scale: {e}", file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
