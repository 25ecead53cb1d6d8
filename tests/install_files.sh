# The files an install puts below its prefix, one a line, sorted: the list check_install.sh holds
# a prefix to and check_package.sh the .deb's /usr.
#   usage: . tests/install_files.sh; install_files SOURCE_DIR APP_ID
install_files() {
    local source=$1 id=$2 name context size f
    {
        printf '%s\n' bin/kexbox bin/varnel bin/varnel-cli \
            share/doc/varnel/copyright share/doc/varnel/changelog.gz \
            "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
            share/mime/packages/varnel.xml
        for name in varnel:apps application-x-varnel-project:mimetypes \
                    application-x-varnel-meter:mimetypes; do
            context=${name#*:} name=${name%:*}
            echo "share/icons/hicolor/scalable/$context/$name.svg"
            for size in 16 32 48 64 128 256; do
                echo "share/icons/hicolor/${size}x${size}/$context/$name.png"
            done
        done
        for f in "$source"/samples/*.maf "$source"/samples/*.txt "$source"/samples/*.csv; do
            echo "share/varnel/samples/$(basename "$f")"
        done
    } | LC_ALL=C sort
}
