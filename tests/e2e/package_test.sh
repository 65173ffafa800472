#!/usr/bin/env bash
# The Debian package that cpack makes from this build: its name, version and architecture; its
# contents (programs, man pages, completion, documentation, examples); its Depends field, which
# must cover every shared library the programs load; and the programs unpacked with dpkg -x into a
# scratch root run from there on the packaged sample block. The page they share lies in a private
# /dev/shm when the test may make one (root): a program of another word size cannot share the
# host's create lock, whose layout differs between 32-bit and 64-bit C libraries.
#
# package_test.sh <cpack> <build dir> <version> <velkor in the build> [emulator command...]
set -u

cpack=$1 build=$2 version=$3 built_velkor=$4
shift 4
emulator=("$@")
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

for tool in dpkg dpkg-deb readelf; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing (apt-get install dpkg-dev binutils)"
        exit 77
    fi
done

# The Debian architecture of the programs, from their ELF header.
header=$(readelf -h "$built_velkor")
case $(sed -n 's/^ *Machine: *//p' <<<"$header") in
    *X86-64*) architecture=amd64 ;;
    *80386*) architecture=i386 ;;
    AArch64) architecture=arm64 ;;
    ARM)
        architecture=armel
        grep -q 'hard-float' <<<"$header" && architecture=armhf
        ;;
    *)
        echo "FAILED: unknown machine in $built_velkor: $header"
        exit 1
        ;;
esac

scratch=$(mktemp -d)
root="$scratch/root"
trap 'rm -rf "$scratch"' EXIT

if ! log=$("$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" 2>&1); then
    printf '%s\nFAILED: cpack\n' "$log"
    exit 1
fi

deb="$scratch/out/velkor_${version}-1_${architecture}.deb"
check
if [[ ! -f $deb ]]; then
    fail "no $(basename "$deb"); cpack made: $(ls "$scratch/out")"
    report
    exit 1
fi

field() {
    dpkg-deb --field "$deb" "$1"
}
check
[[ $(field Package) == velkor ]] || fail "Package: $(field Package)"
check
[[ $(field Version) == "${version}-1" ]] || fail "Version: $(field Version)"
check
[[ $(field Architecture) == "$architecture" ]] || fail "Architecture: $(field Architecture)"
check
[[ -n $(field Maintainer) && -n $(field Description) ]] || fail "no Maintainer or Description"

contents=$(dpkg-deb --contents "$deb" | awk '{ print $NF }')
for path in ./usr/bin/velkor ./usr/bin/murelpage-sim ./usr/share/man/man1/velkor.1.gz \
    ./usr/share/man/man1/murelpage-sim.1.gz ./usr/share/bash-completion/completions/velkor \
    ./usr/share/doc/velkor/README.md ./usr/share/doc/velkor/docs/troubleshooting.md \
    ./usr/share/doc/velkor/examples/adjust-block.bin \
    ./usr/share/doc/velkor/examples/adjust-block.txt; do
    check
    grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done

dpkg -x "$deb" "$root"

# Every shared library a program loads belongs to a package named in Depends.
depends=$(field Depends)
# The package names of Depends, one per line (versions and alternatives dropped).
depends_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/^ *//; s/ *$//; s/:.*$//')
package_of_library() {
    local soname=$1 path candidate owner
    if ((${#emulator[@]} == 0)); then
        path=$(ldd "$2" 2>/dev/null | awk -v so="$soname" '$1 == so { print $3 }')
        for candidate in "$path" "$(readlink -f "$path")" "/usr$path" "${path#/usr}"; do
            [[ -n $candidate ]] || continue
            owner=$(dpkg -S "$candidate" 2>/dev/null | head -n 1 | cut -d: -f1)
            [[ -n $owner ]] && break
        done
        printf '%s' "$owner"
    else
        # No target libraries known to dpkg on a cross build: the run-time libraries by soname.
        case $soname in
            libc.so.* | libm.so.* | libpthread.so.* | librt.so.* | libdl.so.*) printf libc6 ;;
            libstdc++.so.6) printf libstdc++6 ;;
            libgcc_s.so.1) printf libgcc-s1 ;;
        esac
    fi
}
for program in velkor murelpage-sim; do
    binary="$root/usr/bin/$program"
    while IFS= read -r soname; do
        [[ -n $soname ]] || continue
        check
        owner=$(package_of_library "$soname" "$binary")
        if [[ -z $owner ]]; then
            fail "$program: no package known for $soname"
        elif ! grep -qxF -- "$owner" <<<"$depends_names"; then
            fail "$program loads $soname of $owner, which Depends ($depends) does not name"
        fi
    done < <(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
done

# The unpacked programs run from the scratch root.
check
usage=$("${emulator[@]}" "$root/usr/bin/velkor" --help)
[[ $usage == "$("${emulator[@]}" "$built_velkor" --help)" ]] ||
    fail "the packaged velkor --help differs from the build's"

# The unpacked programs on a page: murelpage-sim writes the packaged block, velkor reads it.
# Prints FAILED lines; the exit status is the number of failures.
page_checks='
set -u
root=$1 page=$2 lock=$3
shift 3
if [[ -n ${PRIVATE_SHM:-} ]]; then
    mount -t tmpfs -o mode=1777,size=1m velkor-test-shm /dev/shm || exit 3
fi
failures=0
if "$@" "$root/usr/bin/murelpage-sim" write --page="$page" --pagelock="$lock" \
    --block="$root/usr/share/doc/velkor/examples/adjust-block.bin"; then
    output=$("$@" "$root/usr/bin/velkor" --page="$page" --pagelock="$lock" --getver 2>&1)
    if [[ $output != $'"'"'Compiled version: 2, stored version: 2\nSUCCESS'"'"' ]]; then
        echo "FAILED: packaged velkor --getver printed: $output"
        failures=$((failures + 1))
    fi
    output=$("$@" "$root/usr/bin/velkor" --page="$page" --pagelock="$lock" --loglevel=error \
        --check 2>&1)
    if [[ $output != SUCCESS ]]; then
        echo "FAILED: packaged velkor --check printed: $output"
        failures=$((failures + 1))
    fi
else
    echo "FAILED: packaged murelpage-sim write failed"
    failures=$((failures + 3))
fi
"$@" "$root/usr/bin/murelpage-sim" remove --page="$page" --pagelock="$lock" >/dev/null 2>&1
exit $failures
'
page_names=("/velkor-package-$$-page" "/velkor-package-$$-lock")
if [[ $(id -u) -eq 0 ]] && unshare --mount --propagation private true 2>/dev/null; then
    PRIVATE_SHM=1 unshare --mount --propagation private bash -c "$page_checks" _ "$root" \
        "${page_names[@]}" "${emulator[@]}"
    page_failures=$?
elif ((${#emulator[@]} == 0)); then
    bash -c "$page_checks" _ "$root" "${page_names[@]}"
    page_failures=$?
else
    echo "note: the packaged programs were not run on a page (no private /dev/shm)"
    page_failures=-1
fi
if ((page_failures >= 0)); then
    checks=$((checks + 3))
    failures=$((failures + page_failures))
fi

if command -v man >/dev/null; then
    check
    warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/velkor.1.gz" 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "the packaged man page warns: $warnings"
fi

report
