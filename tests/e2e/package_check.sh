#!/usr/bin/env bash
# Checks the release files that bash build.sh package wrote (bash build.sh
# package-test): the Debian package against lintian and the desktop's
# validators, installed, run by a user of its own and removed again; the
# Windows zip's imports and resources; the web zip; the tarball run from a
# fresh folder. As root: it installs the package and adds a user, and
# removes both.
#
#   bash tests/e2e/package_check.sh dist
#
# Each check is a run of commands after `checking`: the first that fails
# fails the check and ends the script.
set -eEuo pipefail
dist=$(cd "${1:?the folder of the release files}" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "package_check.sh: run it as root: it installs the package" >&2; exit 1; }
deb=$(echo "$dist"/lister_*.deb)
version=$(dpkg-deb -f "$deb" Version)
scratch=$(mktemp -d)
chmod 755 "$scratch"  # the user's runs reach into it
user=lister-check-$$
cleanUp() {
    mountpoint -q "$scratch/noexec" && umount "$scratch/noexec"
    id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
    dpkg -P lister >/dev/null 2>&1 || true
    rm -rf "$scratch"
}
trap cleanUp EXIT
current=
passed=0
trap 'echo "FAILED: $current" >&2' ERR
checking() {
    [ -z "$current" ] || { echo "ok: $current"; passed=$((passed + 1)); }
    current=$1
}
absent() { ! "$@"; }

# Every combination of 6 out of n as lister writes them: the independent oracle.
/usr/bin/python3 -c 'import itertools, sys
sys.stdout.buffer.write(b"".join(b"%02d%02d%02d%02d%02d%02d\r\n" % c for c in itertools.combinations(range(1, 8), 6)))' \
    >"$scratch/VSR_7-6.asc"
# Row 69 or 70 of a cells file, without its trailing blanks.
row() { sed -n "$1p" "$2" | sed 's/ *$//'; }

checking "SHA256SUMS"
(cd "$dist" && sha256sum --quiet -c SHA256SUMS)
checking "lintian"
lintian --fail-on error,warning "$deb"
checking "desktop-file-validate, appstreamcli validate"
dpkg-deb -x "$deb" "$scratch/deb"
desktop-file-validate "$scratch"/deb/usr/share/applications/*.desktop
appstreamcli validate --no-net "$scratch"/deb/usr/share/metainfo/*.xml >/dev/null

checking "dpkg -i, lister --version"
dpkg -i "$deb" >/dev/null
[ "$(lister --version)" = "lister $version" ]

checking "a user who is not root: the n = 7 file where row 69 says"
useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
asUser() { runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LISTER_SCREEN=headless "$@"; }
printf '7\rG\r' | asUser LISTER_CELLS="$home/cells" lister
[ "$(row 69 "$home/cells")" = " > RUTA: $home/.local/share/lister/VSR_7-6.asc" ]
cmp "$home/.local/share/lister/VSR_7-6.asc" "$scratch/VSR_7-6.asc"
checking "a changed copy is refreshed"
echo 'changed' >>"$home/.local/share/lister/lister"
asUser lister --version >/dev/null
cmp /usr/libexec/lister/lister "$home/.local/share/lister/lister"

# No copy to run: the installed program runs, after one line saying why.
mkdir "$scratch/noexec"
mount -t tmpfs -o noexec,mode=1777 tmpfs "$scratch/noexec"
for case in "HOME=" "XDG_DATA_HOME=/proc" "XDG_DATA_HOME=$scratch/noexec"; do
    checking "no copy to run ($case)"
    printf '7\rG\r' | asUser "$case" LISTER_CELLS="$scratch/noexec/cells" lister 2>"$scratch/noexec/errors"
    [ "$(wc -l <"$scratch/noexec/errors")" -eq 1 ]
    grep -q "^lister: .*running /usr/libexec/lister/lister itself" "$scratch/noexec/errors"
    [ "$(row 70 "$scratch/noexec/cells")" = " > ERROR AL CREAR EL ARCHIVO: /usr/libexec/lister/VSR_7-6.asc  ERR= 2" ]
done

checking "dpkg -r, dpkg -P leave nothing"
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' >"$scratch/files"
dpkg -r lister >/dev/null
dpkg -P lister >/dev/null 2>&1
absent dpkg-query -W lister 2>/dev/null
absent xargs ls -d <"$scratch/files" 2>/dev/null

# lister.exe imports system DLLs only (those mingw-w64 has import libraries
# for, and none it ships as a DLL), is stripped, and carries an icon, a
# version and a manifest.
checking "lister.exe's imports"
unzip -q "$dist/lister-$version-win64.zip" -d "$scratch/windows"
windows=$scratch/windows/lister-$version-win64
for dll in $(x86_64-w64-mingw32-objdump -p "$windows/lister.exe" | sed -n 's/^\tDLL Name: //p'); do
    [ -f "/usr/x86_64-w64-mingw32/lib/lib$(basename "${dll,,}" .dll).a" ]
    [ -z "$(find /usr/x86_64-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32 -iname "$dll")" ]
done
checking "lister.exe is stripped"
absent grep -q '\.debug' <(x86_64-w64-mingw32-objdump -h "$windows/lister.exe")
checking "lister.exe's icon, version and manifest"
# The resource types at the top of its tree: icon, icon group, version, manifest.
[ "$(x86_64-w64-mingw32-objdump -p "$windows/lister.exe" |
    sed -n 's/^[0-9a-f]*   Entry: ID: 0x\([0-9a-f]*\),.*/\1/p' | tr '\n' ' ')" = "000003 00000e 000010 000018 " ]
strings -el "$windows/lister.exe" | grep -A1 -x ProductVersion | grep -qx "$version"
strings "$windows/lister.exe" | grep -q '<dpiAware[^>]*>true</dpiAware>'
checking "the Windows zip's README (CR LF)"
absent grep -qv $'\r$' "$windows/README.txt"

checking "the web zip: the page with its version"
unzip -q "$dist/lister-$version-web.zip" -d "$scratch/web"
web=$scratch/web/lister-$version-web
ls "$web"/{index.html,lister.js,lister.wasm,lister.worker.js} >/dev/null
grep -q "lister $version" "$web/index.html"

checking "the tarball, stripped, run from a fresh folder"
mkdir "$scratch/tarball" "$scratch/elsewhere"
tar -xzf "$dist/lister-$version-linux-x86_64.tar.gz" -C "$scratch/tarball"
unpacked=$scratch/tarball/lister-$version-linux-x86_64
ls "$unpacked"/{LICENSE,README.md,lister.1,es/lister.1} >/dev/null
absent grep -q symtab <(readelf -S "$unpacked/lister")
(cd "$scratch/elsewhere" && printf '7\rG\r' | LISTER_SCREEN=headless LISTER_CELLS=cells "$unpacked/lister")
[ "$(row 69 "$scratch/elsewhere/cells")" = " > RUTA: $unpacked/VSR_7-6.asc" ]
cmp "$unpacked/VSR_7-6.asc" "$scratch/VSR_7-6.asc"

checking ""
echo "$passed passed, 0 failed"
