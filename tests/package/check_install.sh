#!/usr/bin/env bash
# Installs the build into a staging prefix with spaces in its path, builds the C
# example host against that prefix only (Makefile with pkg-config, and CMake with
# find_package), runs both and compares their pictures with each other and with
# the pinned checksum. Then checks that a failing export makes the host fail
# without writing a picture.
#   check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR SHA256
set -euo pipefail
build=$1 src=$2 work=$3 want=$4
rm -rf "$work"
prefix="$work/staged prefix/usr local"
mkdir -p "$work/make" "$work/cmake"
fail() { echo "check_install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(ls -d "$prefix"/lib*/ | head -1)
[ -L "$libdir/libquornel.so" ] && [ -L "$libdir/libquornel.so.0" ] || fail "version links missing"
readelf -d "$libdir/libquornel.so" | grep -q 'SONAME.*\[libquornel\.so\.0\]' || fail "SONAME is not libquornel.so.0"
for h in quornel.h quornel_host.h; do [ -f "$prefix/include/quornel/$h" ] || fail "$h not installed"; done

# The header's version, pkg-config's, the CMake package's and the library file's agree.
v=$(sed -n 's/^#define QRN_VERSION_\(MAJOR\|MINOR\|PATCH\) \([0-9]*\)$/\2/p' "$prefix/include/quornel/quornel.h" | paste -sd.)
export PKG_CONFIG_PATH="$libdir/pkgconfig"
unset PKG_CONFIG_LIBDIR LD_LIBRARY_PATH
[ "$(pkg-config --modversion quornel)" = "$v" ] || fail "pkg-config version is not $v"
[ -f "$libdir/libquornel.so.$v" ] || fail "libquornel.so.$v missing"
grep -q "PACKAGE_VERSION \"$v\"" "$libdir/cmake/Quornel/QuornelConfigVersion.cmake" || fail "CMake package version is not $v"
[ "$("$prefix/bin/quornel" --version)" = "quornel $v" ] || fail "installed quornel --version is not $v"

make -s -C "$work/make" -f "$src/examples/host/Makefile"
cmake -S "$src/examples/host" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$work/cmake" >/dev/null
for kind in make cmake; do
  exe="$work/$kind/quornel-example-host"
  ldd "$exe" | grep -q "libquornel.so.0 => $libdir" || fail "$kind build does not load the staged library"
  "$exe" "$work/$kind.ppm" >/dev/null
done
cmp "$work/make.ppm" "$work/cmake.ppm" || fail "the two builds paint different pictures"
got=$(sha256sum "$work/make.ppm" | cut -d' ' -f1)
[ "$got" = "$want" ] || fail "picture checksum $got, expected $want"

if "$work/make/quornel-example-host" "$work/refused.ppm" --slot 64 2>"$work/refused.txt"; then
  fail "a refused layer did not fail the host"
fi
[ ! -e "$work/refused.ppm" ] || fail "the failing host wrote a picture"
grep -q "QRN_CreateLayer failed" "$work/refused.txt" || fail "the failing host did not name the call"
echo "check_install: staged, built two ways, pictures equal ($got)"
