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
xvfb=
cleanUp() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
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

checking "dpkg -i; help, version and a usage error make nothing"
dpkg -i "$deb" >/dev/null
useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
asUser() { runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LISTER_SCREEN=headless "$@"; }
before=$(find "$home")
[ "$(asUser lister --version)" = "lister $version" ]
asUser lister -h >/dev/null && absent asUser lister x 2>/dev/null
[ "$(find "$home")" = "$before" ]

# The documents folder as xdg-user-dir names it.
checking "a fresh user whose documents folder is ~/Documentos: the n = 7 file there, where row 69 says"
asUser mkdir -p "$home/.config" "$home/Documentos"
printf 'XDG_DOCUMENTS_DIR="$HOME/Documentos"\n' | asUser tee "$home/.config/user-dirs.dirs" >/dev/null
folder=$home/Documentos/lister
printf '7\rG\r' | asUser LISTER_CELLS="$home/cells" lister
[ "$(row 69 "$home/cells")" = " > RUTA: $(asUser xdg-user-dir DOCUMENTS)/lister/VSR_7-6.asc" ]
cmp "$folder/VSR_7-6.asc" "$scratch/VSR_7-6.asc"
checking "a user without a documents folder: ~/lister, and where 1.0.0's folder is"
mkdir -p "$scratch/other/.local/share/lister" && chown -R "$user" "$scratch/other"
printf '7\rG\r' | asUser HOME="$scratch/other" LISTER_CELLS="$scratch/other/cells" lister 2>"$scratch/errors"
[ "$(row 69 "$scratch/other/cells")" = " > RUTA: $scratch/other/lister/VSR_7-6.asc" ]
grep -qF "those of before stay in $scratch/other/.local/share/lister" "$scratch/errors"

checking "a changed copy is refreshed"
echo 'changed' >>"$folder/lister"
asUser lister </dev/null 2>/dev/null || [ $? -eq 3 ]
cmp /usr/libexec/lister/lister "$folder/lister"
# Ended while it copies (its cp signals it), the launcher removes its copy.
mkdir "$scratch/cp"
for signal in HUP INT TERM; do
    checking "a launcher ended by SIG$signal while it refreshes the copy leaves no temporary copy"
    printf '#!/bin/sh\n/bin/cp "$@" || exit\nkill -s %s "$PPID"\n' "$signal" >"$scratch/cp/cp" && chmod 755 "$scratch/cp/cp"
    echo 'changed' >>"$folder/lister"
    absent asUser PATH="$scratch/cp:/usr/bin:/bin" lister </dev/null 2>/dev/null
    absent cmp -s /usr/libexec/lister/lister "$folder/lister"
    [ -z "$(find "$folder" -name '.lister.*')" ]
done

# No copy to run: the installed program runs, after one line saying why.
mkdir "$scratch/noexec" "$scratch/proc"
mount -t tmpfs -o noexec,mode=1777 tmpfs "$scratch/noexec"
backslashed=$scratch/noexec/a\\b  # echo would mangle it
mkdir "$backslashed" && chown "$user" "$backslashed"
printf 'XDG_DOCUMENTS_DIR="%s"\n' "${backslashed//\\/\\\\}" >"$scratch/noexec/user-dirs.dirs"
printf 'XDG_DOCUMENTS_DIR="/proc"\n' >"$scratch/proc/user-dirs.dirs"
rm "$folder/lister" && asUser mkdir "$folder/lister"
for case in "HOME=|HOME is not set" "HOME=-x|HOME (-x)" "HOME=home|HOME (home)" \
    "XDG_CONFIG_HOME=$scratch/proc|/proc/lister" "XDG_CONFIG_HOME=$scratch/noexec|$backslashed/lister" \
    "HOME=$home|a folder stands where the copy of lister goes, $folder/lister"; do
    checking "no copy to run (${case%%|*})"
    printf '7\rG\r' | asUser "${case%%|*}" LISTER_CELLS="$scratch/noexec/cells" lister 2>"$scratch/noexec/errors"
    [ "$(wc -l <"$scratch/noexec/errors")" -eq 1 ]
    grep -qF "${case#*|}" "$scratch/noexec/errors"
    grep -q "^lister: .*running /usr/libexec/lister/lister itself" "$scratch/noexec/errors"
    [ "$(row 70 "$scratch/noexec/cells")" = " > ERROR AL CREAR EL ARCHIVO: /usr/libexec/lister/VSR_7-6.asc  ERR= 2" ]
done
[ -z "$(find "$folder" -mindepth 2)" ] && [ -z "$(find "$folder" -name '.lister.*')" ]

# As a desktop starts it: no terminal, nothing on standard input.
checking "the menu entry's command opens the window of the user's copy (the package depends on SDL2)"
dpkg-deb -f "$deb" Depends | grep -q 'libsdl2-2\.0-0'
rmdir "$folder/lister" && mkfifo "$scratch/display"
Xvfb -displayfd 3 -nolisten tcp -ac 3>"$scratch/display" 2>/dev/null &
xvfb=$!
read -r display <"$scratch/display"
{ asUser LISTER_SCREEN= DISPLAY=":$display" sh -c "exec $(sed -n 's/^Exec=//p' "$scratch"/deb/usr/share/applications/*.desktop)" \
    </dev/null >/dev/null 2>&1 || true; } &
pid=$(DISPLAY=":$display" timeout 60 xdotool search --sync --name '^lister$' getwindowpid)
[ "$(readlink "/proc/$pid/exe")" = "$folder/lister" ]
kill "$pid" && wait $!

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
ls "$unpacked"/{LICENSE,README,lister.1,es/lister.1} >/dev/null
absent grep -q symtab <(readelf -S "$unpacked/lister")
(cd "$scratch/elsewhere" && printf '7\rG\r' | LISTER_SCREEN=headless LISTER_CELLS=cells "$unpacked/lister")
[ "$(row 69 "$scratch/elsewhere/cells")" = " > RUTA: $unpacked/VSR_7-6.asc" ]
cmp "$unpacked/VSR_7-6.asc" "$scratch/VSR_7-6.asc"

# A file name any release or the sources hold, named in one archive's
# guide, must be in that archive; names with no dot or slash are words.
checking "each archive's guide names only files it holds"
names() { sed 'p; s|.*/||' | grep '[./]' | sort -u; }
held() { case $1 in *.gz) tar -tzf "$1" ;; *) unzip -Z1 "$1" ;; esac | sed 's|^[^/]*/||' | names; }
{ git -c safe.directory='*' -C "$(dirname "${BASH_SOURCE[0]}")" ls-files --full-name -- ':/' | names
    for archive in "$dist"/*.gz "$dist"/*.zip; do held "$archive"; done; } | sort -u >"$scratch/known"
for guide in "linux-x86_64.tar.gz $unpacked/README" "win64.zip $windows/README.txt" "web.zip $web/HOSTING.txt"; do
    [ -z "$(grep -ohwFf "$scratch/known" "${guide#* }" | sort -u | comm -23 - <(held "$dist/lister-$version-${guide%% *}"))" ]
done

checking ""
echo "$passed passed, 0 failed"
