#!/bin/sh
# Runs a test program in a user and network namespace of its own, where it is root: loopback
# up, both kinds of echo socket allowed (ping_group_range covers the namespace's root group).
# With --ignore-echo the namespace answers no echo request, so a real time-out can be seen.
# With --slow-loopback, loopback sends at 8 Mbit/s, so that a fast sender fills its socket's
# send buffer and the kernel refuses datagrams for a while.
# Exits 77 (ctest: skipped) when this system allows no user namespaces (or no rate limit).
set -eu
ignore=0
rate=
if [ "${1:-}" = --ignore-echo ]; then
    ignore=1
    shift
fi
if [ "${1:-}" = --slow-loopback ]; then
    rate=8mbit
    shift
fi
if ! command -v unshare >/dev/null || ! command -v ip >/dev/null ||
    ! unshare -Urn true 2>/dev/null; then
    echo "no user and network namespaces on this system: skipped" >&2
    exit 77
fi
exec unshare -Urn sh -c '
    ignore=$1
    rate=$2
    shift 2
    ip link set lo up || exit 1
    if [ -n "$rate" ]; then
        tc qdisc add dev lo root tbf rate "$rate" burst 16kb limit 16mb 2>/dev/null || exit 77
    fi
    echo "0 0" >/proc/sys/net/ipv4/ping_group_range || exit 1
    echo "$ignore" >/proc/sys/net/ipv4/icmp_echo_ignore_all || exit 1
    exec "$@"' sh "$ignore" "$rate" "$@"
