#!/usr/bin/env bash
# The Debian package that cpack makes from this build: its name, version and architecture; its
# contents (programs, man pages, completion, documentation, examples, copyright, changelog); no
# error or warning of lintian (when installed; the overrides state their reasons); its Depends
# field, which must cover every shared library the programs load; and the programs unpacked with
# dpkg -x into a scratch root run from there on the packaged sample block. The page they share
# lies in a private /dev/shm when the test may make one (root): a program of another word size
# cannot share the host's create lock, whose layout differs between 32-bit and 64-bit C libraries.
#
# package_test.sh <cpack> <build dir> <version> <velkor in the build> [emulator command...]
set -u

cpack=$1 build=$2 version=$3 built_velkor=$4
shift 4
emulator=("$@")
checks_file="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/checks.sh"
# shellcheck source=checks.sh
. "$checks_file"
need dpkg dpkg-deb readelf

# The Debian architecture of the programs, from their ELF header.
header=$(readelf -h "$built_velkor")
case $(sed -n 's/^ *Machine: *//p' <<<"$header") in
    *X86-64*) architecture=amd64 ;;
    *80386*) architecture=i386 ;;
    AArch64) architecture=arm64 ;;
    ARM) architecture=armel && grep -q 'hard-float' <<<"$header" && architecture=armhf ;;
    *) echo "FAILED: unknown machine in $built_velkor: $header" && exit 1 ;;
esac

scratch=$(mktemp -d)
root="$scratch/root"
trap 'rm -rf "$scratch"' EXIT

log=$("$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" 2>&1) ||
    { printf '%s\nFAILED: cpack\n' "$log"; exit 1; }
deb="$scratch/out/velkor_${version}-1_${architecture}.deb"
[[ -f $deb ]] || { echo "FAILED: no $(basename "$deb"); cpack made: $(ls "$scratch/out")"; exit 1; }

field() {
    dpkg-deb --field "$deb" "$1"
}
expect Package velkor "$(field Package)"
expect Version "${version}-1" "$(field Version)"
expect Architecture "$architecture" "$(field Architecture)"
check
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "no Maintainer or Description"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }')
for path in ./usr/bin/velkor ./usr/bin/murelpage-sim ./usr/share/man/man1/velkor.1.gz \
    ./usr/share/man/man1/murelpage-sim.1.gz ./usr/share/bash-completion/completions/velkor \
    ./usr/share/doc/velkor/README.md ./usr/share/doc/velkor/docs/troubleshooting.md \
    ./usr/share/doc/velkor/examples/adjust-block.bin \
    ./usr/share/doc/velkor/examples/adjust-block.txt ./usr/share/doc/velkor/copyright \
    ./usr/share/doc/velkor/changelog.Debian.gz ./usr/share/lintian/overrides/velkor; do
    check
    grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done

if command -v lintian >/dev/null; then
    check
    lint=$(lintian --pedantic --display-info --fail-on error,warning "$deb" 2>&1) ||
        fail "lintian: $lint"
fi

dpkg -x "$deb" "$root"

# Every shared library a program loads belongs to a package named in Depends (versions and
# alternatives dropped).
depends=$(field Depends)
depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//; s/:.*$//')
package_of_library() {
    local path candidate owner
    if ((${#emulator[@]} > 0)); then
        # No target libraries known to dpkg on a cross build: the run-time libraries by soname.
        case $1 in
            # ld-linux: the stack protector's guard of 32-bit ARM lives in the dynamic loader.
            libc.so.* | libm.so.* | libpthread.so.* | librt.so.* | libdl.so.* | ld-linux*.so.*)
                printf libc6 ;;
            libstdc++.so.6) printf libstdc++6 ;;
            libgcc_s.so.1) printf libgcc-s1 ;;
        esac
        return
    fi
    path=$(ldd "$2" 2>/dev/null | awk -v so="$1" '$1 == so { print $3 }')
    for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
        owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1)
        [[ -n $owner ]] && break
    done
    printf '%s' "$owner"
}
for program in velkor murelpage-sim; do
    while IFS= read -r soname; do
        check
        owner=$(package_of_library "$soname" "$root/usr/bin/$program")
        [[ -n $owner ]] || { fail "$program: no package known for $soname"; continue; }
        grep -qxF -- "$owner" <<<"$depends_names" ||
            fail "$program loads $soname of $owner, which Depends ($depends) does not name"
    done < <(readelf -d "$root/usr/bin/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done

# The unpacked programs run from the scratch root, also on a page.
expect "packaged velkor --help" "$("${emulator[@]}" "$built_velkor" --help)" \
    "$("${emulator[@]}" "$root/usr/bin/velkor" --help)"
page_checks='
. "$1"
shift
[[ -z ${PRIVATE_SHM:-} ]] || mount -t tmpfs -o mode=1777,size=1m velkor-test-shm /dev/shm || exit 3
on_page "$@"
"${@:6}" "$4" remove --page="$1" --pagelock="$2" >/dev/null 2>&1
report
'
page_run=(bash -c "$page_checks" _ "$checks_file" /velkor-package-$$-page /velkor-package-$$-lock
    "$root/usr/share/doc/velkor/examples/adjust-block.bin" "$root/usr/bin/murelpage-sim"
    "$root/usr/bin/velkor" "${emulator[@]}")
check
if [[ $(id -u) -eq 0 ]] && unshare --mount --propagation private true 2>/dev/null; then
    PRIVATE_SHM=1 unshare --mount --propagation private "${page_run[@]}" ||
        fail "the packaged programs on a page"
elif ((${#emulator[@]} == 0)); then
    "${page_run[@]}" || fail "the packaged programs on a page"
else
    echo "note: the packaged programs were not run on a page (no private /dev/shm)"
fi

man_renders_cleanly "$root/usr/share/man/man1/velkor.1.gz"

report
