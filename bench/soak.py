#!/usr/bin/env python3
"""Soak: gigabytes each way through one Lumivex, with fast, slow and stopping readers.

One headless Lumivex runs two sessions, each a TCP server on 127.0.0.1: COM5 a virtual port
(the soak is the application on it) and COM6 a real serial port on a pty pair the soak makes
(the soak plays the device on the master). Through both at once, bytes go both ways (four
streams), in phases that differ in how the receiving ends read:

  fast  everything as it comes;
  slow  1 MB/s per stream (--slow-rate), so the bridge must hold the sender back;
  stop  as fast as it comes, but not at all for --pause s at the end of every --period s.

Senders always write as fast as the bridge takes bytes. The bytes are a deterministic stream
(every chunk numbered, so a lost, doubled or reordered chunk shows), hashed with SHA-256 as
sent and as received; each phase ends only when every sent byte has arrived, and its count and
hash must match. The first minute (--first-minute) runs each reader for a third of it, and the
program's peak RSS (VmHWM) then is the baseline: at the end it must be within --rss-slack KiB
(1024) of it.

Every wait is bounded: a stream that moves nothing for --stall s while its reader reads fails
the run. Exit status 0 when every check holds, 1 when one fails, 2 on a setup error.
"""

import argparse
import hashlib
import os
import random
import select
import shutil
import signal
import socket
import sys
import tempfile
import time

import bridge_bench as bb
from bridge_bench import BenchError, print

CHUNK = 65536
POOL = 1 << 20  # distinct random bytes the chunks are cut from
SESSIONS = (("virtual", 5), ("real", 6))


class Source:
    """The stream one sender writes: chunk k is k itself (8 bytes) and a window of a random
    pool that moves with k, so no two chunks in a row are alike."""

    def __init__(self, seed):
        self.pool = random.Random(seed).randbytes(POOL + CHUNK)
        self.k = 0
        self.pending = memoryview(b"")

    def peek(self, limit):
        if not self.pending:
            start = (self.k * 40503) % POOL
            chunk = self.k.to_bytes(8, "little") + self.pool[start:start + CHUNK - 8]
            self.pending = memoryview(chunk)
            self.k += 1
        return self.pending[:limit]

    def advance(self, n):
        self.pending = self.pending[n:]


class Stream:
    """One way through one session: bytes written to src must all arrive, unchanged, on dst."""

    def __init__(self, name, src, dst, seed):
        self.name, self.src, self.dst = name, src, dst
        self.source = Source(seed)
        self.total_sent = self.total_received = 0
        self.start_phase()

    def start_phase(self):
        self.sent = self.received = 0
        self.sent_sha, self.received_sha = hashlib.sha256(), hashlib.sha256()
        self.last_progress = time.monotonic()

    def write(self, limit):
        data = self.source.peek(limit)
        try:
            n = os.write(self.src, data)
        except BlockingIOError:
            return
        self.sent_sha.update(data[:n])
        self.source.advance(n)
        self.sent += n
        self.total_sent += n

    def read(self, limit):
        """Reads up to limit bytes, as many reads as that takes: a pty gives 4 KiB a read."""
        while limit > 0:
            try:
                chunk = os.read(self.dst, limit)
            except BlockingIOError:
                return
            if not chunk:
                raise BenchError(f"{self.name}: the far end closed after "
                                 f"{self.total_received} bytes")
            self.received_sha.update(chunk)
            self.received += len(chunk)
            self.total_received += len(chunk)
            self.last_progress = time.monotonic()
            limit -= len(chunk)
            if self.received > self.sent:
                raise BenchError(f"{self.name}: {self.received} bytes arrived, "
                                 f"{self.sent} were sent")


class Reader:
    """How the receiving ends read in a phase: how many bytes a stream may take now."""

    def __init__(self, kind, args, period=None, pause=None):
        self.kind, self.rate = kind, args.slow_rate
        self.period, self.pause = period or args.period, pause or args.pause
        self.t0 = time.monotonic()

    def allowance(self, stream, now):
        if self.kind == "slow":
            return min(int(self.rate * (now - self.t0)) - stream.received, 1 << 18)
        return 0 if self.paused(now) else 1 << 18

    def paused(self, now):
        return self.kind == "stop" and (now - self.t0) % self.period >= self.period - self.pause


class Memory:
    """VmRSS and VmHWM of the program, sampled once a second."""

    def __init__(self, pid, first_minute):
        self.pid, self.t0 = pid, time.monotonic()
        self.first_minute_end = self.t0 + first_minute
        self.baseline_kib = None
        self.next_sample = 0.0

    def sample(self, now):
        if now < self.next_sample:
            return
        self.next_sample = now + 1.0
        if self.baseline_kib is None and now >= self.first_minute_end:
            self.baseline_kib = bb.vm_hwm_kib(self.pid)

    def rss_kib(self):
        with open(f"/proc/{self.pid}/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def run_phase(name, streams, reader, amount, seconds, memory, proc, stall):
    """Sends until each stream has sent `amount` bytes or `seconds` have passed, then waits
    until every sent byte has arrived; checks the counts and hashes."""
    for s in streams:
        s.start_phase()
    poll = select.poll()
    for fd in {s.src for s in streams} | {s.dst for s in streams}:
        poll.register(fd, select.POLLIN | select.POLLOUT)
    by_src = {s.src: s for s in streams}
    by_dst = {s.dst: s for s in streams}
    t0 = time.monotonic()
    send_until = t0 + seconds
    while True:
        now = time.monotonic()
        sending = now < send_until
        writers = [s for s in streams if sending and s.sent < amount]
        if not writers and all(s.received == s.sent for s in streams):
            break
        memory.sample(now)
        if proc.poll() is not None:
            raise BenchError(f"{name}: the program ended ({proc.returncode})")
        for s in streams:
            waiting = s in writers or s.received < s.sent  # a stream that is done never stalls
            if waiting and not reader.paused(now) and now - s.last_progress > stall:
                raise bb.BenchTimeout(f"{name} {s.name}: nothing arrived for {stall:.0f} s "
                                      f"(sent {s.sent}, received {s.received})")
        # Reading ends that may take nothing now are left out of the poll, not spun on.
        room = {s.dst: reader.allowance(s, now) for s in streams}
        for fd in by_src.keys() | by_dst.keys():
            events = select.POLLOUT if by_src.get(fd) in writers else 0
            if room.get(fd, 0) > 0:
                events |= select.POLLIN
            poll.modify(fd, events)
        for fd, ev in poll.poll(100):
            if ev & select.POLLOUT and by_src.get(fd) in writers:
                s = by_src[fd]
                s.write(min(CHUNK, amount - s.sent))
            if ev & (select.POLLIN | select.POLLHUP | select.POLLERR) and room.get(fd, 0) > 0:
                by_dst[fd].read(room[fd])
    for s in streams:
        if s.sent_sha.digest() != s.received_sha.digest():
            raise BenchError(f"{name} {s.name}: SHA-256 differs over {s.sent} bytes")
    took = time.monotonic() - t0
    moved = sum(s.sent for s in streams)
    print(f"  {name:6} {took:7.0f} s  " + "  ".join(f"{s.name} {s.sent / 1e6:.0f} MB"
                                                    for s in streams)
          + f"  ({moved / 1e6 / took:.1f} MB/s in all)  SHA-256 equal  "
          f"RSS {memory.rss_kib() / 1024:.1f} MiB, peak {bb.vm_hwm_kib(proc.pid) / 1024:.1f} MiB")


def start(args, root):
    """The program with both sessions, and the four streams through them."""
    ports_dir = os.path.join(root, "ports")
    os.makedirs(ports_dir)
    tcp = bb.free_ports(len(SESSIONS))
    master, slave = os.openpty()
    bb.set_raw(slave)
    os.set_blocking(master, False)
    os.symlink(os.ttyname(slave), os.path.join(ports_dir, "COM6"))
    keys = [bb.session_keys(com, port, kind == "virtual", args.buffer)
            for (kind, com), port in zip(SESSIONS, tcp)]
    proc = bb.start_lumivex(args.lumivex, root, ports_dir, keys)
    deadline = time.monotonic() + bb.START_SECONDS
    while not (set(tcp) <= bb.listening_ports()
               and os.path.lexists(os.path.join(ports_dir, "COM5"))):
        if proc.poll() is not None or time.monotonic() > deadline:
            raise BenchError("the program did not start its two sessions")
        time.sleep(0.05)
    app = os.open(os.path.join(ports_dir, "COM5"), os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    bb.set_raw(app)
    fds = [master, slave, app]
    streams = []
    for (kind, _), port, dev in zip(SESSIONS, tcp, (app, master)):
        client = socket.create_connection(("127.0.0.1", port), timeout=5)
        client.setblocking(False)
        fds.append(client.detach())
        net = fds[-1]
        streams += [Stream(f"{kind} net>serial", net, dev, f"{kind}1"),
                    Stream(f"{kind} serial>net", dev, net, f"{kind}2")]
    return proc, fds, streams


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--lumivex", required=True, help="the lumivex program")
    ap.add_argument("--gb", type=float, default=10.0,
                    help="GB each way through each port in each long phase")
    ap.add_argument("--slow-minutes", type=float, help="bound on the slow phase")
    ap.add_argument("--stop-minutes", type=float, help="bound on the stopping phase")
    ap.add_argument("--slow-rate", type=float, default=1e6, help="bytes/s the slow reader takes")
    ap.add_argument("--period", type=float, default=60.0)
    ap.add_argument("--pause", type=float, default=10.0)
    ap.add_argument("--first-minute", type=float, default=60.0,
                    help="seconds of the mixed start whose peak RSS is the baseline")
    ap.add_argument("--rss-slack", type=int, default=1024, help="KiB the peak may grow by")
    ap.add_argument("--stall", type=float, default=30.0)
    ap.add_argument("--buffer", type=int, default=2, help="BufferSize list index (2: 8192)")
    ap.add_argument("--short", action="store_true",
                    help="the form CI runs, under a minute: 0.1 GB and a few seconds a phase")
    args = ap.parse_args()
    if args.short:
        args.gb, args.first_minute, args.period, args.pause = 0.1, 6.0, 4.0, 1.5
        args.slow_minutes, args.stop_minutes = 0.05, 0.15
    args.lumivex = os.path.abspath(args.lumivex)
    signal.signal(signal.SIGTERM, bb.stop_on_signal)
    signal.signal(signal.SIGINT, bb.stop_on_signal)
    root = tempfile.mkdtemp(prefix="lumivex-soak-")
    proc, fds = None, []
    started = time.monotonic()
    try:
        proc, fds, streams = start(args, root)
        memory = Memory(proc.pid, args.first_minute)
        third = args.first_minute / 3
        amount = int(args.gb * 1e9)
        forever = float("inf")
        phases = [("fast", Reader("fast", args), forever, third),
                  ("slow", Reader("slow", args), forever, third),
                  ("stop", Reader("stop", args, third, min(args.pause, third / 2)), forever,
                   third),
                  ("fast", Reader("fast", args), amount, forever),
                  ("slow", Reader("slow", args), amount, (args.slow_minutes or forever) * 60),
                  ("stop", Reader("stop", args), amount, (args.stop_minutes or forever) * 60)]
        print(f"soak: {args.lumivex}, sessions COM5 (virtual) and COM6 (pty device)")
        for name, reader, phase_amount, seconds in phases:
            reader.t0 = time.monotonic()
            run_phase(name, streams, reader, phase_amount, seconds, memory, proc, args.stall)
        end_kib = bb.vm_hwm_kib(proc.pid)
    except BenchError as e:
        print(f"soak: FAIL: {e}", file=sys.stderr)
        return 1
    finally:
        for fd in fds:
            os.close(fd)
        bb.stop_process(proc)
        shutil.rmtree(root, ignore_errors=True)
    first = memory.baseline_kib or end_kib
    total = sum(s.total_sent for s in streams)
    print(f"soak: {time.monotonic() - started:.0f} s, {total / 1e9:.2f} GB in all, "
          + ", ".join(f"{s.name} {s.total_sent / 1e9:.2f} GB" for s in streams))
    flat = end_kib - first <= args.rss_slack
    print(f"soak: peak RSS {first / 1024:.2f} MiB after the first minute, "
          f"{end_kib / 1024:.2f} MiB at the end: {'flat' if flat else 'GREW'} "
          f"(slack {args.rss_slack} KiB); nothing lost or changed")
    return 0 if flat else 1


if __name__ == "__main__":
    sys.exit(main())
