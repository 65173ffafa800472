#!/usr/bin/env bash
# The Debian packages pass lintian: no error and no warning (info and pedantic tags shown too;
# the overrides in cmake/debian/ state their reasons), for amd64 (release preset) and for the head
# unit's armhf (armhf-release preset). Installs lintian when missing; builds only what the package
# holds, with warnings as errors as everywhere in CI.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! dpkg -s lintian >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq lintian
fi

status=0
for preset in release armhf-release; do
    build=build/$preset
    cmake --preset "$preset" -DVELKOR_WERROR=ON >/dev/null
    cmake --build --preset "$preset" --target velkor murelpage-sim velkor_user_files
    rm -f "$build"/velkor_*.deb
    (cd "$build" && cpack -G DEB >/dev/null)
    for deb in "$build"/velkor_*.deb; do
        echo "lintian $deb"
        lintian --pedantic --display-info --fail-on error,warning "$deb" || status=1
    done
done
exit $status
