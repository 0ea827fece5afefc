#!/bin/sh
# Runs a test program in a user and mount namespace of its own, with its temporary folder on a
# 1 MiB tmpfs mounted there (LUMIVEX_SMALL_DISK names it), so that a test can fill the disk or
# make it read-only. Exits 77 (ctest: skipped) when this system allows no such namespaces.
set -eu
if ! command -v unshare >/dev/null || ! unshare -Urm true 2>/dev/null; then
    echo "no user and mount namespaces on this system: skipped" >&2
    exit 77
fi
exec unshare -Urm sh -c '
    disk=$(mktemp -d)
    status=0
    mount -t tmpfs -o size=1m tmpfs "$disk" || exit 1
    TMPDIR=$disk LUMIVEX_SMALL_DISK=$disk "$@" || status=$?
    umount "$disk" && rmdir "$disk"
    exit $status' sh "$@"
