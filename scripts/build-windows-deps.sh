#!/bin/bash
# Builds the Windows libraries of the project from Debian's source packages
# with the mingw-w64 toolchains: libcurl (shared libcurl.dll, system TLS,
# stripped, for Windows Vista and later like the project's own files),
# JsonCpp (static) and minizip (static). Each lands in
#   $BRENVIK_WINDEPS_CACHE/<triple>/<package>/<version>+r<recipe>/
# with <package>/current pointing at it, so a second run with the same Debian
# versions and the same recipes reuses the cache. zlib comes from
# libz-mingw-w64-dev.
#
# Usage: build-windows-deps.sh [triple...]   (default: both triples)
set -euo pipefail

CACHE=${BRENVIK_WINDEPS_CACHE:-/var/cache/brenvik-windeps}
TRIPLES=("$@")
[ ${#TRIPLES[@]} -gt 0 ] || TRIPLES=(x86_64-w64-mingw32 i686-w64-mingw32)
JOBS=$(nproc)
# Raised whenever the way a library is built changes, so caches rebuild.
RECIPE=2

log() { echo "[windeps] $*"; }

src_version() { # newest version of a source package that apt knows
  apt-cache showsrc "$1" | awk '/^Version:/{print $2}' | sort -V | tail -1
}

# Fetch and unpack a source package once per version; prints the tree's path.
# The build steps run under `if !`, where set -e does not act, so every step
# checks its own result: a fetch that failed must not leave a tree marked as
# unpacked for the next run.
fetch_source() {
  local pkg=$1 version=$2 dir="$CACHE/src/$pkg-$version" tree
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir"; mkdir -p "$dir" || return 1
    (cd "$dir" && apt-get source -qq -o APT::Sandbox::User=root "$pkg=$version" >/dev/null) || return 1
    touch "$dir/.unpacked" || return 1
  fi
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1)
  [ -n "$tree" ] || return 1
  echo "$tree"
}

toolchain_file() {
  case $1 in
    x86_64-w64-mingw32) echo "$(cd "$(dirname "$0")/.." && pwd)/cmake/toolchains/mingw-x86_64.cmake" ;;
    i686-w64-mingw32) echo "$(cd "$(dirname "$0")/.." && pwd)/cmake/toolchains/mingw-i686.cmake" ;;
  esac
}

build_curl() {
  local triple=$1 version=$2 prefix=$3 tree
  tree=$(fetch_source curl "$version") || return 1
  cmake -S "$tree" -B "$prefix.build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$triple")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc -s -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF \
    -DCURL_DISABLE_LDAP=ON -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none \
    >"$prefix.log" 2>&1 || return 1
  cmake --build "$prefix.build" -j "$JOBS" >>"$prefix.log" 2>&1 || return 1
  cmake --install "$prefix.build" >>"$prefix.log" 2>&1
}

build_libjsoncpp() {
  local triple=$1 version=$2 prefix=$3 tree
  tree=$(fetch_source libjsoncpp "$version") || return 1
  cmake -S "$tree" -B "$prefix.build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$triple")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF \
    >"$prefix.log" 2>&1 || return 1
  cmake --build "$prefix.build" -j "$JOBS" >>"$prefix.log" 2>&1 || return 1
  cmake --install "$prefix.build" >>"$prefix.log" 2>&1
}

build_minizip() {
  local triple=$1 version=$2 prefix=$3 tree obj=()
  tree=$(fetch_source minizip "$version") || return 1
  local mz="$tree"
  [ -f "$mz/unzip.c" ] || mz="$tree/contrib/minizip"
  mkdir -p "$prefix.build" "$prefix/lib" "$prefix/include/minizip" || return 1
  for f in ioapi unzip zip iowin32; do
    "$triple-gcc-posix" -O2 -c "$mz/$f.c" -I"$mz" -o "$prefix.build/$f.o" >>"$prefix.log" 2>&1 || return 1
    obj+=("$prefix.build/$f.o")
  done
  "$triple-ar" rcs "$prefix/lib/libminizip.a" "${obj[@]}" >>"$prefix.log" 2>&1 || return 1
  cp "$mz"/{ioapi,unzip,zip,iowin32,crypt}.h "$prefix/include/minizip/"
}

for triple in "${TRIPLES[@]}"; do
  for pkg in curl libjsoncpp minizip; do
    version=$(src_version "$pkg")
    [ -n "$version" ] || { echo "no source package $pkg: are deb-src entries configured?" >&2; exit 1; }
    base="$CACHE/$triple/$pkg"
    key="$version+r$RECIPE"
    prefix="$base/$key"
    if [ -f "$prefix/.complete" ]; then
      log "$triple $pkg $key: cached"
    else
      log "$triple $pkg $key: building"
      rm -rf "$prefix" "$prefix.build"; mkdir -p "$base"
      if ! "build_$pkg" "$triple" "$version" "$prefix"; then
        echo "building $pkg $version for $triple failed; last lines of $prefix.log:" >&2
        tail -30 "$prefix.log" >&2 || true
        rm -rf "$prefix" "$prefix.build"
        # An earlier complete build (say, before a security update of the
        # source package that cannot be fetched right now) still serves.
        if [ -f "$base/current/.complete" ]; then
          log "$triple $pkg: keeping $(readlink "$base/current")"
          continue
        fi
        exit 1
      fi
      rm -rf "$prefix.build"
      touch "$prefix/.complete"
    fi
    ln -sfn "$key" "$base/current"
  done
done
