#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks what lands there: exactly the expected files,
# samples equal to the repository's, PNG icons of their named sizes, a menu entry that starts the
# program with the file it is given, by the icon's name, a command-line tool that runs from the
# prefix, and a program that keeps its group folders in the user's data folder, not beside itself,
# and gives the sample meters to the group folders it makes there.
#   usage: tests/check_install.sh CMAKE BUILD_DIR SOURCE_DIR APP_ID
set -euo pipefail
cmake=$1 build=$2 source=$3 id=$4
. "$source/tests/install_files.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" > "$work/install.log" || {
    cat "$work/install.log" >&2
    fail "cmake --install failed"
}

install_files "$source" "$id" > "$work/expected"
(cd "$prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) > "$work/installed"
diff -u "$work/expected" "$work/installed" || fail "installed files differ from the expected list"

for p in varnel varnel-cli kexbox; do [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"; done
for f in "$source"/samples/*.maf "$source"/samples/*.txt "$source"/samples/*.csv; do
    cmp -s "$f" "$prefix/share/varnel/samples/$(basename "$f")" || fail "sample $(basename "$f") differs"
done
while read -r png; do
    size=${png#share/icons/hicolor/} size=${size%%x*}
    # Width and height: big-endian words at bytes 16 and 20 of the IHDR chunk.
    read -r w h < <(od -An -tu1 -j16 -N8 "$prefix/$png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "icon $png is ${w}x${h}"
done < <(grep '^share/icons/hicolor/[0-9]*x[0-9]*/' "$work/expected")
desktop=$prefix/share/applications/$id.desktop
grep -qx 'Exec=varnel %f' "$desktop" || fail "desktop entry does not run varnel with the file"
grep -qx 'Icon=varnel' "$desktop" || fail "desktop entry does not name the icon varnel"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry is not an application"

"$prefix/bin/varnel-cli" meter show "$prefix/share/varnel/samples/sample-v1.maf" > "$work/show.txt" ||
    fail "installed varnel-cli cannot read an installed sample"
grep -q '^part number: SAMPLE-V1 (not real)$' "$work/show.txt" || fail "meter show printed: $(cat "$work/show.txt")"

# The installed program makes its group folders at start-up; they belong in the user's data
# folder even when the prefix is writable (as it is here, and for root everywhere).
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config HOME=$work/home QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
# The first start puts the sample meters into the group folders it makes, Ford and Import; a
# folder the user has already (Import here, holding a meter of a sample's name) keeps its own.
mkdir -p "$XDG_DATA_HOME/varnel/Import"
echo mine > "$XDG_DATA_HOME/varnel/Import/sample-v1.maf"
"$prefix/bin/varnel" --port "$work/no-such-port" > "$work/varnel.log" 2>&1 &
pid=$!
for _ in $(seq 100); do
    [ -d "$XDG_DATA_HOME/varnel/GM" ] && break
    sleep 0.1
done
kill "$pid" 2> /dev/null || true
wait "$pid" 2> /dev/null || true
for g in Ford GM Import; do
    [ -d "$XDG_DATA_HOME/varnel/$g" ] || fail "no group folder $g in \$XDG_DATA_HOME/varnel"
    [ ! -e "$prefix/bin/$g" ] || fail "group folder $g made beside the program"
done
for f in "$source"/samples/*.maf "$source"/samples/*.csv; do
    cmp -s "$f" "$XDG_DATA_HOME/varnel/Ford/$(basename "$f")" || fail "Ford lacks sample $(basename "$f")"
done
[ "$(ls "$XDG_DATA_HOME/varnel/Import")" = sample-v1.maf ] && [ "$(cat "$XDG_DATA_HOME/varnel/Import/sample-v1.maf")" = mine ] ||
    fail "the user's own Import folder was given samples"
[ -z "$(ls "$XDG_DATA_HOME/varnel/GM")" ] || fail "samples in GM"
echo "install into $prefix: $(wc -l < "$work/expected") files as expected; group folders in \$XDG_DATA_HOME/varnel, the samples in Ford"
