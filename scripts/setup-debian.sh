#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Lumivex needs, including
# what the program loads at run time (not only what the build links).
# Skips apt entirely when everything is already there, so re-runs are quick and offline.
set -euo pipefail

packages=(
    # building
    cmake ninja-build g++ pkg-config ccache
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev libxcb1-dev
    # running: the Qt libraries with the xcb and offscreen platform plugins (libqt6gui6),
    # fonts for the English and the Japanese texts
    libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6serialport6 qt6-qpa-plugins
    fontconfig fonts-dejavu-core fonts-noto-cjk
    # testing: a display for screenshots, and localedef for the comma-locale test
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth locales
    # testing: network namespaces with a slowed-down loopback (ip, tc)
    iproute2
    # testing: COM port control (RFC 2217) clients and servers nobody here wrote
    python3-serial ser2net
    # the Debian package (scripts/package.sh) and its checks: lintian, the desktop entry and
    # metainfo validators, and a throw-away Debian root booted in a container
    dpkg-dev debhelper lintian desktop-file-utils appstream rsync debootstrap systemd-container
    # testing: the fuzz targets (libFuzzer comes with clang's runtime libraries)
    clang-14 libfuzzer-14-dev libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y "${missing[@]}"
