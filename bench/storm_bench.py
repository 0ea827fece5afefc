#!/usr/bin/env python3
"""Storm benchmark: the whole program, headless, under reconnect, connection and activation
storms; what it holds (descriptors, ptys, memory) is compared before and after.

Storms (each against its own Lumivex process, its own data, ports and runtime folders):
  reconnect   client sessions on test-made pty devices, each against a server of ours that
              goes away (connection and listener closed) for a random while and comes back;
              every reconnect must come within 5 s and one tick of the server coming back, and
              a byte must pass each way after it.
  attempts    connection attempts in waves larger than the descriptor limit (256, set on the
              program) against a server session; then a new client is served end to end and
              the program holds as many descriptors as before the storm.
  activation  sessions on virtual ports activated and deactivated over the command channel;
              descriptors and ptys back to the start, resident memory within a bound.

Standard library only. Exit status: 0 when every target holds, 1 when one fails, 2 on a setup
error.
"""

import argparse
import os
import random
import resource
import select
import shutil
import signal
import socket
import statistics
import sys
import tempfile
import threading
import time

from bridge_bench import (BenchError, free_ports, listening_ports, read_exact, report_targets,
                          session_keys, set_raw, start_lumivex, stop_on_signal, stop_process,
                          write_all)

TICK = 0.05  # the session heartbeat's period
RECONNECT_BOUND = 5.0 + TICK
OP_SECONDS = 5.0
START_SECONDS = 20.0


# ---------------------------------------------------------------------------------------------
# the program and what it holds


class Program:
    """One headless Lumivex with its folders; `devices` maps COM numbers to pty masters made
    here, whose slaves are the session's real ports."""

    def __init__(self, root, name):
        self.dir = tempfile.mkdtemp(prefix=f"{name}-", dir=root)
        self.ports = os.path.join(self.dir, "ports")
        os.makedirs(self.ports)
        self.devices, self.slaves, self.proc = {}, [], None

    def device(self, com):
        master, slave = os.openpty()
        set_raw(slave)
        os.set_blocking(master, False)
        self.slaves.append(slave)  # held, so the master never reads a hang-up between opens
        os.symlink(os.ttyname(slave), os.path.join(self.ports, f"COM{com}"))
        self.devices[com] = master
        return master

    def start(self, program, sessions, fd_limit=None):
        argv = [program] if fd_limit is None else ["prlimit", f"--nofile={fd_limit}", program]
        self.proc = start_lumivex(argv, self.dir, self.ports, sessions)

    def wait(self, what, condition, seconds=START_SECONDS):
        deadline = time.monotonic() + seconds
        while not condition():
            if self.proc.poll() is not None:
                raise BenchError(f"the program ended ({self.proc.returncode}): {self.stderr()}")
            if time.monotonic() > deadline:
                raise BenchError(f"not in time: {what}")
            time.sleep(0.05)

    def stderr(self):
        with open(os.path.join(self.dir, "stderr"), errors="replace") as f:
            return f.read()[-600:]

    def fds(self):
        return os.listdir(f"/proc/{self.proc.pid}/fd")

    def ptys(self):
        held = 0
        for fd in self.fds():
            try:
                target = os.readlink(f"/proc/{self.proc.pid}/fd/{fd}")
            except FileNotFoundError:
                continue
            held += target == "/dev/ptmx" or target.startswith("/dev/pts/")
        return held

    def rss_kib(self):
        with open(f"/proc/{self.proc.pid}/status") as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))

    def settled_fds(self, seconds=3.0):
        """The descriptor count once it has stopped changing (closes still under way end)."""
        last, since = len(self.fds()), time.monotonic()
        deadline = since + seconds * 4
        while time.monotonic() - since < seconds / 3 and time.monotonic() < deadline:
            time.sleep(0.1)
            now = len(self.fds())
            if now != last:
                last, since = now, time.monotonic()
        return last

    def command(self, channel, topic, command):
        channel.sendall(f"{topic}\t{command}\n".encode())
        reply = b""
        while not reply.endswith(b"\n"):
            got = channel.recv(256)
            if not got:
                raise BenchError(f"the command channel closed: {self.stderr()}")
            reply += got
        return reply.strip().decode()

    def channel(self):
        path = os.path.join(self.dir, "run", "lumivex", f"lumivex.{self.proc.pid}.dde")
        self.wait("the command channel", lambda: os.path.exists(path))
        s = socket.socket(socket.AF_UNIX)
        s.settimeout(OP_SECONDS * 4)
        s.connect(path)
        return s

    def stop(self):
        stop_process(self.proc)
        for fd in list(self.devices.values()) + self.slaves:
            os.close(fd)


def passes_both_ways(sock, master, deadline):
    write_all(sock.fileno(), b"n", deadline)
    if read_exact(master, 1, deadline) != b"n":
        raise BenchError("a byte changed on its way to the device")
    write_all(master, b"s", deadline)
    if read_exact(sock.fileno(), 1, deadline) != b"s":
        raise BenchError("a byte changed on its way to the network")


def listener(port):
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", port))
    s.listen(8)
    return s


def accept_within(server, seconds):
    """The accepted connection and when it became ready, or (None, None)."""
    ready, _, _ = select.select([server], [], [], seconds)
    if not ready:
        return None, None
    at = time.monotonic()
    conn, _ = server.accept()
    conn.setblocking(False)
    return conn, at


# ---------------------------------------------------------------------------------------------
# storms


def reconnect_storm(args, root):
    program = Program(root, "reconnect")
    ports = free_ports(args.clients)
    sessions = []
    for i, port in enumerate(ports, 1):
        program.device(i)
        keys = session_keys(i, port, False, 2)
        keys.update(TCPOption=0, IPAddress="127.0.0.1", LocalIP="")
        sessions.append(keys)
    servers = [listener(port) for port in ports]
    waits, failures = [], []

    def cycles(i):
        server, master = servers[i], program.devices[i + 1]
        rng = random.Random(i)
        back = None
        try:
            for _ in range(args.cycles + 1):  # the first connection comes with the activation
                conn, at = accept_within(server, START_SECONDS if back is None else 30)
                if conn is None:
                    raise BenchError("no reconnect within 30 s")
                if back is not None:
                    waits.append(at - back)
                passes_both_ways(conn, master, time.monotonic() + OP_SECONDS)
                conn.close()
                server.close()
                # Away for a while: the first attempt comes after 5 s, and some come while
                # nobody listens.
                time.sleep(rng.uniform(0, 2 * RECONNECT_BOUND))
                server = servers[i] = listener(ports[i])
                back = time.monotonic()
        except (BenchError, OSError) as e:
            failures.append(f"session {i + 1}: {e}")

    try:
        program.start(args.lumivex, sessions)
        threads = [threading.Thread(target=cycles, args=(i,)) for i in range(args.clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
    finally:
        for s in servers:
            s.close()
        program.stop()
    cuts = statistics.quantiles(waits, n=100, method="inclusive") if len(waits) > 1 else [0] * 99
    print(f"\n== reconnect: {args.clients} client sessions x {args.cycles} cycles, "
          f"{len(waits)} reconnects")
    if waits:
        print(f"  seconds from the server coming back to the connection: min {min(waits):.3f}, "
              f"p50 {cuts[49]:.3f}, p90 {cuts[89]:.3f}, p99 {cuts[98]:.3f}, max {max(waits):.3f}")
        print(f"  within 1 s: {sum(w <= 1 for w in waits)}, 1-4 s: "
              f"{sum(1 < w <= 4 for w in waits)}, 4-5.05 s: "
              f"{sum(4 < w <= RECONNECT_BOUND for w in waits)}, later: "
              f"{sum(w > RECONNECT_BOUND for w in waits)}")
    late = sum(w > RECONNECT_BOUND for w in waits)
    return [(not failures and len(waits) == args.clients * args.cycles,
             f"reconnect: every cycle made and passed a byte each way" +
             ("" if not failures else ": " + "; ".join(failures[:3]))),
            (late == 0, f"reconnect: {late} of {len(waits)} later than 5 s and one tick")]


def attempts_storm(args, root):
    program = Program(root, "attempts")
    port = free_ports(1)[0]
    master = program.device(1)
    program.start(args.lumivex, [session_keys(1, port, False, 2)], fd_limit=args.fd_limit)
    try:
        program.wait("the server session listening", lambda: port in listening_ports())
        before = program.settled_fds()
        most, made, refused = before, 0, 0
        started = time.monotonic()
        for wave in range(0, args.attempts, args.wave):
            socks = []
            for _ in range(min(args.wave, args.attempts - wave)):
                s = socket.socket()
                s.setblocking(False)
                if s.connect_ex(("127.0.0.1", port)) in (0, 115):  # EINPROGRESS
                    made += 1
                else:
                    refused += 1
                socks.append(s)
            # The wave is held until the program has taken as many as it can hold, or a while.
            held_until = time.monotonic() + args.wave_hold
            while len(program.fds()) < args.fd_limit - 8 and time.monotonic() < held_until:
                time.sleep(0.01)
            most = max(most, len(program.fds()))
            for s in socks:
                s.close()
        storm_seconds = time.monotonic() - started
        after = None if args.client_at_once else program.settled_fds()
        # A new client, served end to end, once the program is past the storm.
        served_from = time.monotonic()
        deadline = served_from + 10
        client = socket.create_connection(("127.0.0.1", port), timeout=OP_SECONDS)
        client.setblocking(False)
        try:
            passes_both_ways(client, master, deadline)
        except BenchError as e:
            raise BenchError(f"the client after the storm was not served: {e}; "
                             f"{len(program.fds())} descriptors; {program.stderr()}") from e
        served = time.monotonic() - served_from
        client.close()
        after = after or program.settled_fds()
    finally:
        program.stop()
    print(f"\n== attempts: {args.attempts} connection attempts in waves of {args.wave}, "
          f"descriptor limit {args.fd_limit}")
    print(f"  {storm_seconds:.1f} s ({args.attempts / storm_seconds:.0f} attempts/s); "
          f"{made} connected or under way, {refused} refused at once")
    print(f"  descriptors before {before}, most seen {most}, after {after}; "
          f"the new client served in {served:.2f} s")
    return [(after == before, f"attempts: descriptors back to {before} (now {after})"),
            (True, f"attempts: a new client was served after the storm ({served:.2f} s)")]


def activation_storm(args, root):
    program = Program(root, "activation")
    ports = free_ports(args.sessions)
    sessions = []
    for i, port in enumerate(ports, 1):
        keys = session_keys(i, port, True, 2)
        keys["AutoActivate"] = 0
        sessions.append(keys)
    program.start(args.lumivex, sessions)
    try:
        channel = program.channel()
        start = (program.settled_fds(), program.ptys(), program.rss_kib())
        first_rss = None
        started = time.monotonic()
        for rnd in range(args.rounds):
            for command, listening in (("[ACTIVATE]", True), ("[DEACTIVATE]", False)):
                for i in range(1, args.sessions + 1):
                    if program.command(channel, f"COM{i}", command) != "ACK":
                        raise BenchError(f"round {rnd + 1}: COM{i} refused {command}")
                up = set(ports) & listening_ports()
                if up != (set(ports) if listening else set()):
                    raise BenchError(f"round {rnd + 1}: {len(up)} sessions listen after "
                                     f"{command}")
            if rnd == 0:
                first_rss = program.rss_kib()
        seconds = time.monotonic() - started
        end = (program.settled_fds(), program.ptys(), program.rss_kib())
        channel.close()
    finally:
        program.stop()
    growth = end[2] - first_rss
    print(f"\n== activation: {args.sessions} virtual-port sessions activated and deactivated "
          f"{args.rounds} times ({seconds:.1f} s, "
          f"{args.sessions * args.rounds * 2 / seconds:.0f} commands/s)")
    print(f"  descriptors {start[0]} -> {end[0]}, ptys {start[1]} -> {end[1]}, resident KiB "
          f"{start[2]} at start, {first_rss} after the first round, {end[2]} at the end")
    return [(end[0] == start[0], f"activation: descriptors back to {start[0]} (now {end[0]})"),
            (end[1] == start[1], f"activation: ptys back to {start[1]} (now {end[1]})"),
            (growth <= args.rss_bound_kib,
             f"activation: resident memory grew {growth} KiB after the first round "
             f"(bound {args.rss_bound_kib} KiB)")]


# ---------------------------------------------------------------------------------------------


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--lumivex", required=True, help="the lumivex program")
    ap.add_argument("--short", action="store_true", help="the short form CI runs")
    ap.add_argument("--only", choices=["reconnect", "attempts", "activation"], action="append")
    ap.add_argument("--rss-bound-kib", type=int, default=1024)
    ap.add_argument("--fd-limit", type=int, default=256, help="the program's, in the attempts")
    ap.add_argument("--wave-hold", type=float, default=0.5,
                    help="seconds a wave of attempts is held open at most")
    ap.add_argument("--client-at-once", action="store_true",
                    help="the attempts' new client comes right after the last wave, before "
                         "the program has closed what the storm left")
    for size in ("clients", "cycles", "attempts", "sessions", "rounds"):
        ap.add_argument(f"--{size}", type=int, help="in place of the default (or --short) size")
    args = ap.parse_args()
    sizes = dict(clients=4, cycles=3, attempts=1000, wave=400, sessions=20, rounds=10)
    if not args.short:
        sizes = dict(clients=20, cycles=50, attempts=10000, wave=400, sessions=100, rounds=100)
    vars(args).update({k: v for k, v in sizes.items() if getattr(args, k, None) is None})
    args.lumivex = os.path.abspath(args.lumivex)
    # Our side of the attempts storm holds a wave of sockets at once.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, 4096)), hard))
    signal.signal(signal.SIGTERM, stop_on_signal)
    signal.signal(signal.SIGINT, stop_on_signal)
    storms = {"reconnect": reconnect_storm, "attempts": attempts_storm,
              "activation": activation_storm}
    root = tempfile.mkdtemp(prefix="lumivex-storm-bench-")
    lines = []
    started = time.monotonic()
    try:
        for name in args.only or storms:
            lines += storms[name](args, root)
    except BenchError as e:
        print(f"storm-bench: {e}", file=sys.stderr)
        return 2
    finally:
        shutil.rmtree(root, ignore_errors=True)
    return report_targets(lines, started)


if __name__ == "__main__":
    sys.exit(main())
