#!/usr/bin/env bash
# The desktop files, checked by the validators the distributions run, and put to work in a
# scratch data folder the way a desktop uses them. Exits 77 (skipped) only when a tool is missing.
#   usage: tests/check_freedesktop.sh desktop SOURCE_DIR APP_ID
#          tests/check_freedesktop.sh metainfo SOURCE_DIR METAINFO CMAKE APP_ID VERSION DATE
#          tests/check_freedesktop.sh mime SOURCE_DIR
set -euo pipefail
mode=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
need() {  # need TOOL DEBIAN_PACKAGE...
    command -v "$1" > /dev/null && return
    echo "SKIP: $1 is not installed (Debian package $2; make deps installs it)"
    exit 77
}
types=(application/x-varnel-project application/x-varnel-meter)

case $mode in
desktop)
    id=$3
    need desktop-file-validate desktop-file-utils
    need update-desktop-database desktop-file-utils
    need xdg-mime xdg-utils
    mkdir -p "$work/data/applications"
    entry=$work/data/applications/$id.desktop
    cp "$source/resources/varnel.desktop" "$entry"
    desktop-file-validate "$entry" || fail "desktop-file-validate found faults"
    # What a double click asks: which entry opens the type. xdg-mime's generic lookup reads the
    # cache update-desktop-database builds from MimeType=.
    update-desktop-database "$work/data/applications"
    for t in "${types[@]}"; do
        got=$(env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION \
              XDG_DATA_DIRS="$work/data" XDG_DATA_HOME="$work/home" XDG_CONFIG_HOME="$work/home" \
              XDG_CONFIG_DIRS="$work/home" xdg-mime query default "$t")
        [ "$got" = "$id.desktop" ] || fail "$t opens with '$got', not $id.desktop"
    done
    echo "desktop entry valid; it opens ${types[*]}"
    ;;
metainfo)
    metainfo=$3 cmake=$4 id=$5 version=$6 date=$7
    need appstreamcli appstream
    appstreamcli validate --no-net "$metainfo" || fail "the build's metainfo is not valid"
    grep -q "<release version=\"$version\" date=\"$date\"" "$metainfo" ||
        fail "no release entry for $version of $date"
    grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
        fail "the project_license is not GPL-3.0-or-later"
    # With a web folder for the pictures the screenshots come in: they must validate too, and
    # every picture they name must be one the repository has (docs/ may hold more).
    "$cmake" -DTEMPLATE="$source/resources/varnel.metainfo.xml.in" -DOUTPUT="$work/shots.xml" \
        -DVARNEL_APP_ID="$id" -DPROJECT_VERSION="$version" -DVARNEL_RELEASE_DATE="$date" \
        -DVARNEL_SCREENSHOT_URL=https://pictures.invalid/varnel/ -P "$source/cmake/metainfo.cmake"
    appstreamcli validate --no-net "$work/shots.xml" || fail "the metainfo with screenshots is not valid"
    shots=$(grep -o 'https://pictures.invalid/varnel/[^<]*' "$work/shots.xml" | sed 's|.*/||' | sort)
    [ -n "$shots" ] || fail "the metainfo names no screenshot"
    for shot in $shots; do
        [ -f "$source/docs/$shot" ] || fail "the screenshot $shot is not in docs/"
    done
    [ "$(grep -c '<caption>' "$work/shots.xml")" = "$(echo "$shots" | wc -l)" ] ||
        fail "a screenshot has no caption"
    echo "metainfo valid, with and without its $(echo "$shots" | wc -l) screenshots"
    ;;
mime)
    need xmllint libxml2-utils
    need update-mime-database shared-mime-info
    xml=$source/resources/varnel-mime.xml
    xmllint --noout "$xml" || fail "xmllint found faults"
    # update-mime-database is the MIME file's reader on every desktop: it must take the file
    # without a word and make a database that knows both types by their globs.
    mkdir -p "$work/mime/packages"
    cp "$xml" "$work/mime/packages/varnel.xml"
    XDG_DATA_DIRS=$work XDG_DATA_HOME=$work update-mime-database "$work/mime" > "$work/update.log" 2>&1 || { cat "$work/update.log"; fail "update-mime-database failed"; }
    [ ! -s "$work/update.log" ] || { cat "$work/update.log"; fail "update-mime-database complained"; }
    for t in "${types[@]}"; do grep -qx "$t" "$work/mime/types" || fail "database lacks $t"; done
    for g in application/x-varnel-project:*.kex application/x-varnel-meter:*.maf; do
        cut -d: -f2- "$work/mime/globs2" | grep -qxF "$g" || fail "database lacks the glob $g"
    done
    echo "MIME file well-formed; database knows ${types[*]}"
    ;;
*) echo "unknown check $mode" >&2; exit 2 ;;
esac
