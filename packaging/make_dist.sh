#!/usr/bin/env bash
# Builds lister's release files into dist/ (bash build.sh package installs
# what this needs first):
#
#   lister_<version>_<arch>.deb              the Debian package (debhelper)
#   lister-<version>-linux-x86_64.tar.gz     the program in one folder
#   lister-<version>-win64.zip               lister.exe in one folder
#   lister-<version>-web.zip                 the page, ready to serve
#   SHA256SUMS
#
# Each artifact's files are laid out by its build's install() rules
# (packaging/CMakeLists.txt). The same commit gives the same bytes: every
# time stamp is the last commit's (SOURCE_DATE_EPOCH), archives hold their
# entries in name order with fixed owners, and nothing depends on the
# folder the sources stand in.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C.UTF-8
umask 022
version=$(sed -n 's/^project(lister VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
work=$root/build-package
stage=$work/stage
dist=$root/dist
rm -rf "$work" "$dist"
mkdir -p "$stage" "$dist"

# Every file the build reads carries the same time, wherever it came from.
settle() { find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +; }

# The Debian package, built from a copy of the sources (those git knows,
# as they stand in the work tree) with packaging/debian as its debian/.
sources=$work/lister-$version
mkdir -p "$sources"
git ls-files -z --cached --others --exclude-standard |
    tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$sources"
cp -r packaging/debian "$sources/debian"
rm "$sources/debian/changelog.in"
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$(date -R -d "@$SOURCE_DATE_EPOCH")/" \
    packaging/debian/changelog.in >"$sources/debian/changelog"
settle "$sources"
(cd "$sources" && dpkg-buildpackage --build=binary --no-sign)
cp "$work/lister_${version}_${arch}.deb" "$dist/"

# The tarball: the same hardened build, laid out as one folder.
linux=lister-$version-linux-x86_64
cmake --install "$sources/obj-$(dpkg-architecture -qDEB_HOST_GNU_TYPE)" --component portable --strip \
    --prefix "$stage/$linux" >/dev/null
settle "$stage/$linux"
tar --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 --numeric-owner --format=gnu \
    -C "$stage" -cf - "$linux" | gzip -9n >"$dist/$linux.tar.gz"

# A zip of one folder of the stage, its entries in name order, each with
# the same time and no owner.
zipFolder() {
    settle "$stage/$1"
    (cd "$stage" && find "$1" -type f | sort | zip -X -D -q -9 -@ "$dist/$1.zip")
}

windows=lister-$version-win64
cmake --preset package-windows >/dev/null
cmake --build --preset package-windows
cmake --install build-package/windows --strip --prefix "$stage/$windows" >/dev/null
zipFolder "$windows"

web=lister-$version-web
cmake --preset package-web >/dev/null
cmake --build --preset package-web
cmake --install build-package/web --prefix "$stage/$web" >/dev/null
zipFolder "$web"

(cd "$dist" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
echo "make_dist.sh: in $dist:"
(cd "$dist" && ls -l)
