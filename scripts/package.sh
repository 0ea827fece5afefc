#!/usr/bin/env bash
# Builds the Debian package build-deb/lumivex_<version>_<arch>.deb and checks it with lintian.
# The package is built from a copy of the tree in build-deb/src, since dpkg-buildpackage writes
# its results beside the source folder; the copy keeps its build folder (obj-*) between runs,
# so a rebuild compiles only what changed.
# PACKAGE_VERSION=0.1.0+1 builds the same tree as a newer version (to try upgrades).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh

out=$PWD/build-deb
src=$out/src
mkdir -p "$src"
# Only files whose content changed are copied, and they get the time of the copy, so that the
# kept build folder compiles them again (a copy with the tree's own times might look older
# than what was built from the copy before).
rsync -rlc --delete --exclude='/build*' --exclude=/.git --exclude='/obj-*' ./ "$src/"
rm -f "$out"/lumivex_* "$out"/lumivex-dbgsym_*

if [ -n "${PACKAGE_VERSION:-}" ]; then
    entry="lumivex ($PACKAGE_VERSION) unstable; urgency=medium

  * Rebuilt from the same source.

 -- $(sed -n 's/^Maintainer: //p' debian/control)  $(date -R)
"
    printf '%s\n' "$entry" | cat - debian/changelog >"$src/debian/changelog"
fi

if command -v ccache >/dev/null 2>&1; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd .. && pwd)}"
fi
export DEB_BUILD_OPTIONS="parallel=${BUILD_JOBS:-$(nproc)} ${DEB_BUILD_OPTIONS:-}"
# --no-pre-clean keeps the build folder of the last run.
(cd "$src" && dpkg-buildpackage -us -uc -b --no-pre-clean)

deb=$(ls "$out"/lumivex_*.deb)
lintian --fail-on error --info "$out"/lumivex_*.changes
echo "$deb"
