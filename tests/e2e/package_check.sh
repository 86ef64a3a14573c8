#!/usr/bin/env bash
# Checks the release files that bash build.sh package wrote (bash build.sh
# package-test): the Debian package against lintian and the desktop's
# validators, installed, run by a user of its own and removed again; the
# Windows zip's imports and resources; the tarball run from a fresh folder.
# As root: it installs the package and adds a user, and removes both.
#
#   bash tests/e2e/package_check.sh dist
set -euo pipefail
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
passed=0
pass() { echo "ok: $1"; passed=$((passed + 1)); }
fail() { echo "FAILED: $1" >&2; exit 1; }

# Every combination of 6 out of n as lister writes them: the independent oracle.
expected() {
    /usr/bin/python3 -c 'import itertools, sys
n = int(sys.argv[1])
sys.stdout.buffer.write(b"".join(b"%02d%02d%02d%02d%02d%02d\r\n" % c for c in itertools.combinations(range(1, n + 1), 6)))' "$1"
}
expected 7 >"$scratch/VSR_7-6.asc"
# Row 69 of a cells file.
pathRow() { sed -n 69p "$1" | sed 's/ *$//'; }

(cd "$dist" && sha256sum --quiet -c SHA256SUMS) && pass "SHA256SUMS" || fail "SHA256SUMS"
lintian --fail-on error,warning "$deb" && pass "lintian" || fail "lintian"
dpkg-deb -x "$deb" "$scratch/deb"
desktop-file-validate "$scratch"/deb/usr/share/applications/*.desktop && pass "desktop-file-validate" || fail "desktop-file-validate"
appstreamcli validate --no-net "$scratch"/deb/usr/share/metainfo/*.xml >/dev/null && pass "appstreamcli validate" || fail "appstreamcli validate"

dpkg -i "$deb" >/dev/null
[ "$(lister --version)" = "lister $version" ] && pass "dpkg -i, lister --version" || fail "dpkg -i, lister --version"

# A user who is not root: the file lands in the copy's folder, as row 69 says.
useradd -m "$user"
home=$(getent passwd "$user" | cut -d: -f6)
asUser() { runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LISTER_SCREEN=headless "$@"; }
printf '7\rG\r' | asUser LISTER_CELLS="$home/cells" lister
[ "$(pathRow "$home/cells")" = " > RUTA: $home/.local/share/lister/VSR_7-6.asc" ] &&
    cmp "$home/.local/share/lister/VSR_7-6.asc" "$scratch/VSR_7-6.asc" && pass "the n = 7 file where row 69 says" || fail "the n = 7 file where row 69 says"
echo 'changed' >>"$home/.local/share/lister/lister"
asUser lister --version >/dev/null && cmp -s /usr/libexec/lister/lister "$home/.local/share/lister/lister" &&
    pass "a changed copy is refreshed" || fail "a changed copy is refreshed"

# No copy to run: the installed program runs, after one line saying why.
mkdir "$scratch/noexec"
mount -t tmpfs -o noexec,mode=1777 tmpfs "$scratch/noexec"
for case in "HOME=" "XDG_DATA_HOME=/proc" "XDG_DATA_HOME=$scratch/noexec"; do
    printf '7\rG\r' | asUser "$case" LISTER_CELLS="$scratch/noexec/cells" lister 2>"$scratch/noexec/errors"
    [ "$(wc -l <"$scratch/noexec/errors")" -eq 1 ] && grep -q "^lister: .*running /usr/libexec/lister/lister itself" \
        "$scratch/noexec/errors" && sed -n 70p "$scratch/noexec/cells" | grep -q "ERROR AL CREAR EL ARCHIVO: /usr/libexec/lister/VSR_7-6.asc  ERR= 2" &&
        pass "no copy to run ($case)" || fail "no copy to run ($case): $(cat "$scratch/noexec/errors")"
done

# Removed, then purged: nothing of the package is left.
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' >"$scratch/files"
dpkg -r lister >/dev/null
dpkg -P lister >/dev/null 2>&1
! dpkg-query -W lister 2>/dev/null && ! xargs ls -d <"$scratch/files" 2>/dev/null && pass "dpkg -r, dpkg -P leave nothing" || fail "dpkg -r, dpkg -P leave nothing"

# The Windows zip: lister.exe imports system DLLs only (those mingw-w64
# has import libraries for, none it ships as a DLL), is stripped, and
# carries an icon, a version and a manifest.
unzip -q "$dist/lister-$version-win64.zip" -d "$scratch/windows"
exe=$scratch/windows/lister-$version-win64/lister.exe
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p'); do
    name=$(basename "$dll" .dll | tr '[:upper:]' '[:lower:]')
    [ -f "/usr/x86_64-w64-mingw32/lib/lib$name.a" ] &&
        [ -z "$(find /usr/x86_64-w64-mingw32 /usr/lib/gcc/x86_64-w64-mingw32 -iname "$dll")" ] ||
        fail "lister.exe imports $dll"
done
pass "lister.exe imports system DLLs only"
! x86_64-w64-mingw32-objdump -h "$exe" | grep -q '\.debug' && pass "lister.exe is stripped" || fail "lister.exe is stripped"
# The resource types at the top of the tree: icons, icon group, version, manifest.
[ "$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[0-9a-f]*   Entry: ID: 0x\([0-9a-f]*\),.*/\1/p' | tr '\n' ' ')" = \
    "000003 00000e 000010 000018 " ] && strings -el "$exe" | grep -A1 -x ProductVersion | grep -qx "$version" &&
    strings "$exe" | grep -q '<dpiAware[^>]*>true</dpiAware>' && pass "lister.exe's icon, version and manifest" || fail "lister.exe's icon, version and manifest"
[ "$(grep -vc $'\r$' "$scratch/windows/lister-$version-win64/README.txt")" -eq 0 ] &&
    grep -q "writable\|can write" "$scratch/windows/lister-$version-win64/README.txt" &&
    grep -q "mingw-w64" "$scratch/windows/lister-$version-win64/LICENSE.txt" && pass "the Windows zip's README and licence" || fail "the Windows zip's README and licence"

# The web zip: the page shows the version; the headers are told.
unzip -q "$dist/lister-$version-web.zip" -d "$scratch/web"
web=$scratch/web/lister-$version-web
ls "$web"/{index.html,lister.js,lister.wasm,lister.worker.js} >/dev/null && grep -q "lister $version" "$web/index.html" &&
    grep -q "Cross-Origin-Embedder-Policy: require-corp" "$web/HOSTING.txt" &&
    grep -q "Emscripten" "$web/LICENSE.txt" && pass "the web zip" || fail "the web zip"

# The tarball, unpacked into a fresh folder and run from another one.
mkdir "$scratch/tarball" "$scratch/elsewhere"
tar -xzf "$dist/lister-$version-linux-x86_64.tar.gz" -C "$scratch/tarball"
unpacked=$scratch/tarball/lister-$version-linux-x86_64
(cd "$scratch/elsewhere" && printf '7\rG\r' | LISTER_SCREEN=headless LISTER_CELLS=cells "$unpacked/lister")
[ "$(pathRow "$scratch/elsewhere/cells")" = " > RUTA: $unpacked/VSR_7-6.asc" ] &&
    cmp "$unpacked/VSR_7-6.asc" "$scratch/VSR_7-6.asc" && ! readelf -S "$unpacked/lister" | grep -q symtab &&
    ls "$unpacked"/{LICENSE,README.md,lister.1,es/lister.1} >/dev/null && pass "the tarball from a fresh folder" || fail "the tarball from a fresh folder"

echo "$passed passed, 0 failed"
