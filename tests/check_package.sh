#!/usr/bin/env bash
# Packs the build into a .deb the way `make package` does and checks it as a user's machine and
# Debian would: its name and control fields, exactly the expected files, dependencies worked out
# from the binaries, programs that run from the unpacked tree, AppStream data that fits its
# desktop entry, the licence, and no lintian error. Exits 77 (skipped) only when a tool is missing.
#   usage: tests/check_package.sh CPACK BUILD_DIR SOURCE_DIR APP_ID VERSION
set -euo pipefail
cpack=$1 build=$2 source=$3 id=$4 version=$5
. "$source/tests/install_files.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
need() {  # need TOOL DEBIAN_PACKAGE
    command -v "$1" > /dev/null && return
    echo "SKIP: $1 is not installed (Debian package $2; make deps installs it)"
    exit 77
}
need dpkg-deb dpkg
need dpkg-shlibdeps dpkg-dev
need file file
need appstreamcli appstream
need lintian lintian

# Straight from the build folder: cpack installs what is built, it builds nothing.
"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" > "$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
deb=$work/out/varnel_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$work/out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = varnel ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = electronics ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
for lib in libc6 libqt6core6 libqt6widgets6 libqt6serialport6 libqt6charts6; do
    [[ ", $(field Depends)," =~ ,\ $lib[\ ,] ]] || fail "Depends lacks $lib: $(field Depends)"
done

# Every regular file, where the install puts it below /usr, and every entry owned by root.
dpkg-deb -c "$deb" > "$work/contents"
awk '$1 ~ /^-/ {print $6}' "$work/contents" | sed 's|^\./usr/||' | LC_ALL=C sort > "$work/files"
diff -u <(install_files "$source" "$id") "$work/files" || fail "the package's files differ from the expected list"
awk '$2 != "root/root" {print; bad=1} END {exit bad}' "$work/contents" || fail "entries not owned by root"

dpkg-deb -x "$deb" "$work/root"
for p in varnel-cli kexbox; do
    "$work/root/usr/bin/$p" --help > "$work/help.txt" 2>&1 || fail "unpacked $p --help failed: $(cat "$work/help.txt")"
    grep -q "^usage: $p " "$work/help.txt" || fail "unpacked $p --help printed: $(cat "$work/help.txt")"
done
appstreamcli validate-tree --no-net "$work/root" || fail "the package's AppStream data does not fit its tree"
# The licence, by its SPDX name in the machine-readable copyright, and its whole text in LICENSE.
copyright=$work/root/usr/share/doc/varnel/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
    grep -qx 'License: GPL-3.0-or-later' "$copyright" || fail "copyright does not give GPL-3.0-or-later"
cmp -s "$source/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL version 3"

# lintian as Debian runs it; its warnings are shown here, its errors fail the test.
lintian --fail-on error --tag-display-limit 0 "$deb" > "$work/lintian.txt" 2>&1 || {
    cat "$work/lintian.txt" >&2
    fail "lintian found errors"
}
cat "$work/lintian.txt"
echo "$(basename "$deb"): $(wc -l < "$work/files") files as expected, lintian: $(grep -c '^W:' "$work/lintian.txt" || true) warnings"
