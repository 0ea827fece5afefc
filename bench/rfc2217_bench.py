#!/usr/bin/env python3
"""COM port control benchmark: a Lumivex client session on a virtual port through ser2net to a
device, with Telnet COM port control (RFC 2217 framing both ways) and without it (raw), and
socat in Lumivex's place on the raw path, all in the same run and on 127.0.0.1.

The benchmark is the application on each virtual port and the device behind ser2net (the
master of a pty pair whose slave ser2net opens). Figures, each the median of --reps runs:
  throughput each way of --mb MB in which a quarter of the bytes are 0xFF and the rest take
  every value (checked by count and SHA-256), as a ratio of the framed path to the raw one;
  and the time from the application's tcsetattr on the virtual port to the device's termios
  showing the new rate (--changes changes, alternating rates).
Targets: framed throughput >= 0.9x raw; a setting at the device within 50 ms (p95).
Exit status: 0 when both hold, 1 when one fails, 2 on a setup error.
"""

import argparse
import hashlib
import os
import random
import shutil
import statistics
import sys
import tempfile
import termios
import time

import bridge_bench as bb

# name -> (COM number, with COM port control); socat stands in on the raw path of its own
PATHS = {"lumivex rfc2217": (5, True), "lumivex raw": (6, False), "socat raw": (7, False)}
RATES = [(termios.B19200, 19200), (termios.B4800, 4800)]


class Path:
    """One way through: the application's end (`dev`) and the device's end (`net`), as
    bridge_bench.transfer names them, and the process that bridges (`proc`)."""

    def __init__(self, name, com, control, port):
        self.name, self.com, self.control, self.port = name, com, control, port
        self.master, slave = os.openpty()
        bb.set_raw(slave)
        self.slave_path = os.ttyname(slave)
        self.slave = slave  # held, so that the master never reads hang-up before ser2net opens
        os.set_blocking(self.master, False)
        self.net, self.dev, self.proc = self.master, None, None


def ser2net_config(paths):
    lines = []
    for n, p in enumerate(paths):
        accepter = "telnet(rfc2217),tcp" if p.control else "tcp"
        lines += [f"connection: &c{n}", f"  accepter: {accepter},127.0.0.1,{p.port}",
                  f"  connector: serialdev,{p.slave_path},115200n81,local", "  options:",
                  "    max-connections: 1"]
    return "\n".join(lines) + "\n"


def client_keys(com, port, control):
    keys = bb.session_keys(com, port, True, bb.LUMIVEX_BUFFERS["1MiB"])
    keys.update({"TCPOption": 0, "IPAddress": "127.0.0.1", "ConnectOnVirtualOpen": 0,
                 "ComPortControl": int(control)})
    return keys


def open_application(ports, com):
    link = os.path.join(ports, f"COM{com}")
    deadline = time.monotonic() + bb.START_SECONDS
    while not os.path.lexists(link):
        if time.monotonic() > deadline:
            raise bb.BenchError(f"COM{com} did not appear")
        time.sleep(0.05)
    fd = os.open(link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    bb.set_raw(fd)
    return fd


def warm_up(path):
    deadline = time.monotonic() + bb.OP_SECONDS * 4
    while True:  # the session connects, ser2net opens the device, the framing is agreed
        bb.write_all(path.dev, b"\xffhello", deadline)
        try:
            got = bb.read_exact(path.master, 6, time.monotonic() + 1)
        except bb.BenchTimeout:
            if time.monotonic() > deadline:
                raise
            continue
        if got != b"\xffhello":
            raise bb.BenchError(f"{path.name}: warm-up bytes changed: {got!r}")
        bb.drain(path.master, 0.2)
        return


def setting_delays(path, changes):
    delays = []
    for i in range(changes):
        code, rate = RATES[i % 2]
        attrs = termios.tcgetattr(path.dev)
        attrs[4] = attrs[5] = code
        t0 = time.perf_counter()
        termios.tcsetattr(path.dev, termios.TCSANOW, attrs)
        deadline = t0 + 2
        while termios.tcgetattr(path.master)[5] != code:
            if time.perf_counter() > deadline:
                raise bb.BenchError(f"the device did not follow to {rate} within 2 s")
        delays.append((time.perf_counter() - t0) * 1000)
    return delays


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--lumivex", required=True)
    parser.add_argument("--socat", default=shutil.which("socat"))
    parser.add_argument("--ser2net", default=shutil.which("ser2net") or "/usr/sbin/ser2net")
    parser.add_argument("--mb", type=float, default=8)
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--changes", type=int, default=40)
    args = parser.parse_args()
    args.lumivex = os.path.abspath(args.lumivex)
    rng = random.Random(2217)
    size = int(args.mb * 1e6)
    data = bytes(255 if rng.random() < 0.25 else rng.randrange(256) for _ in range(size))
    digest = hashlib.sha256(data).digest()

    root = tempfile.mkdtemp(prefix="rfc2217-bench-")
    ports_dir = os.path.join(root, "ports")
    os.makedirs(ports_dir)
    ports = bb.free_ports(len(PATHS))
    paths = [Path(name, com, control, port)
             for (name, (com, control)), port in zip(PATHS.items(), ports)]
    lumivex_paths, socat_path = paths[:2], paths[2]
    procs = []
    try:
        with open(os.path.join(root, "ser2net.yaml"), "w") as f:
            f.write(ser2net_config(paths))
        procs.append(bb.spawn([args.ser2net, "-n", "-u", "-c", os.path.join(root, "ser2net.yaml"),
                               "-P", os.path.join(root, "ser2net.pid")],
                              os.path.join(root, "ser2net.stderr")))
        deadline = time.monotonic() + bb.START_SECONDS
        while not set(ports) <= bb.listening_ports():
            if time.monotonic() > deadline:
                raise bb.BenchError("ser2net did not start")
            time.sleep(0.05)
        lumivex = bb.start_lumivex(args.lumivex, os.path.join(root, "lumivex"), ports_dir,
                                   [client_keys(p.com, p.port, p.control) for p in lumivex_paths])
        socat = bb.spawn([args.socat, f"PTY,link={ports_dir}/COM{socat_path.com},raw,echo=0",
                          f"TCP:127.0.0.1:{socat_path.port}"], os.path.join(root, "socat.stderr"))
        procs += [lumivex, socat]
        for p in paths:
            p.proc = lumivex if p in lumivex_paths else socat
            p.dev = open_application(ports_dir, p.com)
            warm_up(p)

        rates = {(p.name, d): [] for p in paths for d in ("app>device", "device>app")}
        cpu = {key: [] for key in rates}
        for _ in range(args.reps):
            for p in paths:  # round robin: load from elsewhere falls on all paths alike
                for direction, way in (("app>device", "ser>net"), ("device>app", "net>ser")):
                    ser2net_cpu = bb.cpu_ns(procs[0].pid)
                    figures = bb.transfer(p, way, data, digest)
                    rates[(p.name, direction)].append(figures["mbps"])
                    cpu[(p.name, direction)].append(
                        (figures["cpu_per_mb"],
                         (bb.cpu_ns(procs[0].pid) - ser2net_cpu) / 1e9 / (size / 1e6)))
        delays = setting_delays(paths[0], args.changes)
    except bb.BenchError as e:
        print(f"setup or run failed: {e}", file=sys.stderr)
        return 2
    finally:
        for proc in reversed(procs):
            bb.stop_process(proc)
        shutil.rmtree(root, ignore_errors=True)

    ok = True
    print(f"{args.mb:g} MB, a quarter 0xFF, median of {args.reps} runs (MB/s):")
    for direction in ("app>device", "device>app"):
        med = {p.name: statistics.median(rates[(p.name, direction)]) for p in paths}
        ratio = med["lumivex rfc2217"] / med["lumivex raw"]
        ok &= ratio >= 0.9
        print(f"  {direction:11} rfc2217 {med['lumivex rfc2217']:7.2f}  raw {med['lumivex raw']:7.2f}"
              f"  socat raw {med['socat raw']:7.2f}  rfc2217/raw {ratio:.2f}x (>= 0.9)"
              f"  rfc2217/socat {med['lumivex rfc2217'] / med['socat raw']:.2f}x")
        for p in paths:
            own, far = (statistics.median(c) * 1000 for c in zip(*cpu[(p.name, direction)]))
            print(f"    CPU ms per MB, {p.name}: bridge {own:.1f}, ser2net {far:.1f}")
    delays.sort()
    p95 = delays[int(0.95 * (len(delays) - 1))]
    ok &= p95 <= 50
    print(f"tcsetattr to the device's termios, {len(delays)} changes: median "
          f"{statistics.median(delays):.1f} ms, p95 {p95:.1f} ms, max {delays[-1]:.1f} ms (<= 50)")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
