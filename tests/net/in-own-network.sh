#!/bin/sh
# Runs a test program in a user and network namespace of its own, where it is root: loopback
# up, both kinds of echo socket allowed (ping_group_range covers the namespace's root group).
# With --ignore-echo the namespace answers no echo request, so a real time-out can be seen.
# Exits 77 (ctest: skipped) when this system allows no user namespaces.
set -eu
ignore=0
if [ "${1:-}" = --ignore-echo ]; then
    ignore=1
    shift
fi
if ! command -v unshare >/dev/null || ! command -v ip >/dev/null ||
    ! unshare -Urn true 2>/dev/null; then
    echo "no user and network namespaces on this system: skipped" >&2
    exit 77
fi
exec unshare -Urn sh -c '
    ignore=$1
    shift
    ip link set lo up || exit 1
    echo "0 0" >/proc/sys/net/ipv4/ping_group_range || exit 1
    echo "$ignore" >/proc/sys/net/ipv4/icmp_echo_ignore_all || exit 1
    exec "$@"' sh "$ignore" "$@"
