#!/usr/bin/env bash
# Builds the Debian package and tries it on a throw-away Debian 12 root booted with
# systemd-nspawn: the files where they belong, the validators, --help and man, the service
# running unprivileged with a set file placed as the README says and its virtual port open to
# a member of dialout, an upgrade that keeps the sets, and a purge that leaves nothing of the
# package but the users' own files. Needs root; says so and ends with 0 otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ]; then
    echo "package check skipped: it needs root"
    exit 0
fi

fail() {
    echo "package check FAILED: $*" >&2
    exit 1
}
step() { echo "--- package check: $*"; }
# Where the machine cannot make or boot a Debian root (no mirror, no container support), the
# checks that need one are skipped, said plainly: that is the machine, not the package.
skip() {
    echo "package check: the container checks are skipped: $*"
    exit 0
}

scripts/package.sh
out=$PWD/build-deb
work=$(mktemp -d /var/tmp/lumivex-package-check.XXXXXX)
nspawn=
cleanup() {
    [ -z "$nspawn" ] || kill "$nspawn" 2>/dev/null || true
    [ -z "$nspawn" ] || wait "$nspawn" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cp "$out"/lumivex_*.deb "$work/"
first=$(basename "$work"/lumivex_*.deb)

step "files, validators, no build paths"
dpkg-deb -x "$work/$first" "$work/unpacked"
u=$work/unpacked
for f in usr/bin/lumivex usr/bin/lumivex-dde usr/share/applications/lumivex.desktop \
    usr/share/metainfo/com.orvane.lumivex.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/lumivex.svg usr/share/doc/lumivex/html/index.html \
    usr/share/man/man1/lumivex.1.gz usr/share/man/man1/lumivex-dde.1.gz \
    lib/systemd/system/lumivex.service; do
    [ -f "$u/$f" ] || fail "/$f is missing"
done
for size in 16 24 32 48 64 128 256; do
    [ -f "$u/usr/share/icons/hicolor/${size}x$size/apps/lumivex.png" ] || fail "no ${size}px icon"
done
desktop-file-validate "$u/usr/share/applications/lumivex.desktop"
appstreamcli validate --no-net --pedantic "$u/usr/share/metainfo/com.orvane.lumivex.metainfo.xml"
for program in lumivex lumivex-dde; do
    ! strings "$u/usr/bin/$program" | grep -F -e "$PWD" -e "$out" || fail "$program holds a build path"
done

step "a Debian 12 root"
root=$work/root
if [ -f "$out/bookworm-root.tar" ]; then
    mkdir "$root" && tar -xf "$out/bookworm-root.tar" -C "$root"
else
    debootstrap --variant=minbase --include=systemd,systemd-sysv,dbus,man-db bookworm "$root" \
        http://deb.debian.org/debian >"$work/debootstrap.log" ||
        { tail "$work/debootstrap.log"; skip "debootstrap could not make a Debian root"; }
    tar -cf "$out/bookworm-root.tar" -C "$root" .
fi
# (the container's /tmp is a tmpfs of its own)
cp "$work"/lumivex_*.deb "$root/root/"

systemd-nspawn -q -D "$root" -M lumivex-check -b --console=pipe --register=no --keep-unit \
    >"$work/boot.log" 2>&1 &
nspawn=$!
init=
for _ in $(seq 100); do
    init=$(pgrep -P "$nspawn" -x systemd || true)
    [ -n "$init" ] && break
    sleep 0.2
done
[ -n "$init" ] || { cat "$work/boot.log"; skip "systemd-nspawn could not boot a container here"; }
inside() { nsenter -t "$init" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 "$@"; }
for _ in $(seq 100); do
    case $(inside systemctl is-system-running 2>/dev/null) in running | degraded) break ;; esac
    sleep 0.2
done

step "install"
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/root/$first" >"$work/apt.log" ||
    { tail -20 "$work/apt.log"; fail "apt install"; }
inside timeout 20 lumivex --help | grep -q '^Usage: lumivex' || fail "lumivex --help"
inside man -P cat lumivex | grep -q 'lumivex-dde' || fail "man lumivex"
inside getcap /usr/bin/lumivex | grep -q cap_net_raw=ep || fail "no capability for echoes"
inside systemd-analyze verify lumivex.service || fail "the unit does not verify"
[ "$(inside systemctl is-enabled lumivex)" = disabled ] || fail "enabled on install"
# The packaged unit is the one -i writes for the installed program.
inside sh -c 'mkdir /tmp/unit && LUMIVEX_SYSTEMD_DIR=/tmp/unit timeout 20 lumivex -is' || fail "lumivex -is"
inside cmp /tmp/unit/lumivex.service /usr/lib/systemd/system/lumivex.service ||
    fail "-i writes another unit than the package ships"

step "the service"
inside systemctl enable --now lumivex
inside systemctl stop lumivex
# A set file placed as the README says: a virtual port COM15 with a TCP server behind it.
printf '[Lumivex]\nNumSessions=1\n[Session1]\nConnector=15\nCreateVirtualPort=1\nTCPOption=1\nLocalIP=127.0.0.1\nPortNumber=47215\nAutoActivate=1\n' \
    >"$root/root/plant.lvx"
inside install -m 600 /root/plant.lvx /var/lib/lumivex/default.lvx
inside chown --reference=/var/lib/private/lumivex /var/lib/lumivex/default.lvx
inside systemctl start lumivex
pid=$(inside systemctl show -P MainPID lumivex)
[ "$pid" -gt 0 ] || fail "the service does not run"
status=$(inside cat "/proc/$pid/status")
uid=$(awk '/^Uid:/ { print $2 }' <<<"$status")
[ "$uid" -ne 0 ] || fail "the service runs as root"
dialout=$(inside getent group dialout | cut -d: -f3)
awk '/^Groups:/ { for (i = 2; i <= NF; i++) print $i }' <<<"$status" | grep -qx "$dialout" ||
    fail "the service is not in dialout"
[ "$(awk '/^CapEff:/ { print $2 }' <<<"$status")" = 0000000000002000 ] ||
    fail "the service holds more than CAP_NET_RAW"
inside useradd --create-home -G dialout tester
for _ in $(seq 50); do
    inside test -L /run/lumivex-service/ports/COM15 && break
    sleep 0.2
done
inside runuser -u tester -- sh -c 'exec 3<>/run/lumivex-service/ports/COM15' ||
    fail "a member of dialout cannot open the service's virtual port"
inside journalctl -u lumivex --no-pager | grep -q 'Virtual Port COM15 created' ||
    fail "the service's log is not in the journal"

step "upgrade"
inside runuser -u tester -- sh -c 'mkdir -p ~/.config/lumivex && echo "[Lumivex]" >~/.config/lumivex/default.lvx'
PACKAGE_VERSION="$(dpkg-deb -f "$work/$first" Version)+1" scripts/package.sh >"$work/rebuild.log" 2>&1 ||
    { tail -20 "$work/rebuild.log"; fail "rebuilding the package"; }
cp "$out"/lumivex_*.deb "$root/root/"
second=$(basename "$out"/lumivex_*.deb)
inside env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "/root/$second" >"$work/apt.log" ||
    { tail -20 "$work/apt.log"; fail "apt install of the newer package"; }
inside systemctl is-active -q lumivex || fail "the service does not run after the upgrade"
inside grep -q 'Connector=15' /var/lib/lumivex/default.lvx || fail "the upgrade lost the service's set"
inside getcap /usr/bin/lumivex | grep -q cap_net_raw=ep || fail "the upgrade lost the capability"

step "remove and purge"
inside env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q lumivex >"$work/apt.log"
inside grep -q 'Connector=15' /var/lib/lumivex/default.lvx || fail "remove lost the service's set"
inside env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q lumivex >"$work/apt.log"
for gone in /usr/bin/lumivex /usr/share/doc/lumivex /usr/lib/systemd/system/lumivex.service \
    /var/lib/lumivex /var/lib/private/lumivex /etc/systemd/system/multi-user.target.wants/lumivex.service; do
    ! inside test -e "$gone" -o -L "$gone" || fail "$gone is left after purge"
done
! inside dpkg-query -W lumivex 2>/dev/null || fail "dpkg still knows the package"
inside test -f /home/tester/.config/lumivex/default.lvx || fail "purge took a user's own set"
echo "package check passed"
