#!/usr/bin/env bash
# Installs what the tests labelled "install" use, when a fresh machine lacks it: groff and man for
# the man pages, bash-completion for the completion directory and its helpers, dpkg-dev for cpack's
# dpkg-shlibdeps, binutils for readelf, util-linux for unshare and setpriv, pkg-config, lintian for
# the package.
set -euo pipefail

need=()
for pkg in groff-base man-db bash-completion dpkg-dev binutils util-linux pkg-config lintian; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
fi
