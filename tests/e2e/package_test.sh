#!/usr/bin/env bash
# The Debian package that cpack makes from this build (its install tree is that of
# `cmake --install`): name, version, architecture, contents, no lintian error or warning, a Depends
# field that covers every shared library the programs load, and the unpacked velkor (under the
# emulator of a cross build) on the packaged sample and description.
#
# package_test.sh <cpack> <build dir> <version> <velkor in the build> [emulator command...]
set -u

cpack=$1 build=$2 version=$3 built_velkor=$4
shift 4
emulator=("$@")
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
need dpkg dpkg-deb readelf

header=$(readelf -h "$built_velkor")
case $(sed -n 's/^ *Machine: *//p' <<<"$header") in
    *X86-64*) architecture=amd64 ;;
    *80386*) architecture=i386 ;;
    AArch64) architecture=arm64 ;;
    ARM) architecture=armel && grep -q 'hard-float' <<<"$header" && architecture=armhf ;;
    *) echo "FAILED: unknown machine in $built_velkor: $header" && exit 1 ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
log=$("$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" 2>&1) ||
    { printf '%s\nFAILED: cpack\n' "$log"; exit 1; }
deb="$scratch/out/velkor_${version}-1_${architecture}.deb"
[[ -f $deb ]] || { echo "FAILED: no $(basename "$deb"); cpack made: $(ls "$scratch/out")"; exit 1; }
field() { dpkg-deb --field "$deb" "$1"; }
expect Package velkor "$(field Package)"
expect Version "${version}-1" "$(field Version)"
expect Architecture "$architecture" "$(field Architecture)"
if command -v lintian >/dev/null; then
    check
    lint=$(lintian --pedantic --display-info --fail-on error,warning "$deb" 2>&1) ||
        fail "lintian: $lint"
fi

root=$scratch/root
dpkg -x "$deb" "$root"
for path in bin/velkor bin/murelpage-sim share/man/man1/{velkor,murelpage-sim}.1* \
    share/bash-completion/completions/velkor share/doc/velkor/{copyright,changelog.Debian.gz} \
    share/doc/velkor/{README.md,docs/troubleshooting.md,docs/page-format.md} \
    share/doc/velkor/examples/{README.md,adjust-block.bin,adjust-block.txt} \
    share/lintian/overrides/velkor; do
    check
    compgen -G "$root/usr/$path" >/dev/null || fail "the package lacks /usr/$path"
done

# Every loaded library belongs to a package Depends names: libc6, else the soname's package.
depends=$(field Depends)
depends_names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//; s/:.*$//')
for program in velkor murelpage-sim; do
    while IFS= read -r soname; do
        case $soname in
            # ld-linux: the stack protector's guard of 32-bit ARM lives in the dynamic loader.
            libc.so.* | libm.so.* | libpthread.so.* | librt.so.* | libdl.so.* | ld-linux*.so.*)
                owner=libc6 ;;
            *) owner=${soname/.so./} && owner=${owner//_/-} ;;
        esac
        check
        grep -qxF -- "$owner" <<<"$depends_names" ||
            fail "$program loads $soname of $owner, which Depends ($depends) does not name"
    done < <(readelf -d "$root/usr/bin/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done

examples=$root/usr/share/doc/velkor/examples
expect "packaged velkor on the packaged sample" $'E2P.Networking.Eth0MacAddr=02B4E12BB056\nSUCCESS' \
    "$("${emulator[@]}" "$root/usr/bin/velkor" --from="$examples/adjust-block.bin" \
        --config="$examples/adjust-block.txt" --loglevel=error --get=E2P.Networking.Eth0MacAddr 2>&1)"
report
