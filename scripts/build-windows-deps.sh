#!/bin/bash
# Builds the Windows libraries of the project from Debian's source packages
# with the mingw-w64 toolchains: libcurl (shared libcurl.dll, system TLS,
# stripped, for Windows Vista and later like the project's own files),
# JsonCpp (static), minizip (static) and Qt 5 Core (shared Qt5Core.dll, for
# Windows 7 and later, which Qt 5.15 needs). Each lands in
#   $BRENVIK_WINDEPS_CACHE/<triple>/<package>/<version>+r<recipe>/
# with <package>/current pointing at it, so a second run with the same Debian
# versions and the same recipes reuses the cache. zlib comes from
# libz-mingw-w64-dev; Qt's moc, rcc and qmake are Debian's native ones.
#
# Usage: build-windows-deps.sh [triple...]   (default: both triples)
set -euo pipefail

CACHE=${BRENVIK_WINDEPS_CACHE:-/var/cache/brenvik-windeps}
TRIPLES=("$@")
[ ${#TRIPLES[@]} -gt 0 ] || TRIPLES=(x86_64-w64-mingw32 i686-w64-mingw32)
JOBS=$(nproc)
PACKAGES=(curl libjsoncpp minizip qtbase-opensource-src)
# Raised whenever the way a library is built changes, so that library's
# caches rebuild and the others stay.
declare -A RECIPE=([curl]=2 [libjsoncpp]=2 [minizip]=2 [qtbase-opensource-src]=1)
# Where Debian's qtbase5-dev-tools and qt5-qmake-bin put the host tools.
QT_HOST_BIN=/usr/lib/qt5/bin

log() { echo "[windeps] $*"; }

# One step of a build: its output goes to $STEP_LOG (the package's full log),
# and a line says when it starts, once a minute that it still runs, and when
# it ends, with its time. Returns the step's status.
STEP_LOG=/dev/null
STEP_WHAT=
step() { # label command...
  local label=$1 start=$SECONDS next=60 pid status
  shift
  log "$STEP_WHAT: $label"
  "$@" >>"$STEP_LOG" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    sleep 1
    if [ $((SECONDS - start)) -ge $next ]; then
      log "$STEP_WHAT: $label: still running after $((SECONDS - start)) s"
      next=$((next + 60))
    fi
  done
  status=0
  wait "$pid" || status=$?
  if [ $status -eq 0 ]; then
    log "$STEP_WHAT: $label: done in $((SECONDS - start)) s"
  else
    log "$STEP_WHAT: $label: failed after $((SECONDS - start)) s (log: $STEP_LOG)"
  fi
  return $status
}

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
    # Progress to standard error: standard output carries the tree's path.
    step "fetch and unpack the source" \
      sh -c 'cd "$1" && apt-get source -qq -o APT::Sandbox::User=root "$2"' - "$dir" "$pkg=$version" >&2 || return 1
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
  step configure cmake -S "$tree" -B "$prefix.build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$triple")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_SHARED_LINKER_FLAGS="-static-libgcc -s -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0" \
    -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
    -DHTTP_ONLY=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF \
    -DCURL_DISABLE_LDAP=ON -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_PATH=none -DCURL_CA_BUNDLE=none || return 1
  step build cmake --build "$prefix.build" -j "$JOBS" || return 1
  step install cmake --install "$prefix.build"
}

build_libjsoncpp() {
  local triple=$1 version=$2 prefix=$3 tree
  tree=$(fetch_source libjsoncpp "$version") || return 1
  step configure cmake -S "$tree" -B "$prefix.build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$(toolchain_file "$triple")" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON -DBUILD_OBJECT_LIBS=OFF \
    -DJSONCPP_WITH_TESTS=OFF -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF -DJSONCPP_WITH_PKGCONFIG_SUPPORT=OFF || return 1
  step build cmake --build "$prefix.build" -j "$JOBS" || return 1
  step install cmake --install "$prefix.build"
}

build_minizip() {
  local triple=$1 version=$2 prefix=$3 tree obj=()
  tree=$(fetch_source minizip "$version") || return 1
  local mz="$tree"
  [ -f "$mz/unzip.c" ] || mz="$tree/contrib/minizip"
  mkdir -p "$prefix.build" "$prefix/lib" "$prefix/include/minizip" || return 1
  for f in ioapi unzip zip iowin32; do
    step "compile $f.c" "$triple-gcc-posix" -O2 -c "$mz/$f.c" -I"$mz" -o "$prefix.build/$f.o" || return 1
    obj+=("$prefix.build/$f.o")
  done
  step archive "$triple-ar" rcs "$prefix/lib/libminizip.a" "${obj[@]}" || return 1
  cp "$mz"/{ioapi,unzip,zip,iowin32,crypt}.h "$prefix/include/minizip/"
}

# Qt 5 Core only: QtCore as Qt5Core.dll with its headers, mkspecs and CMake
# files. The host tools are Debian's own (the same 5.15), so only target code
# is compiled. The C and C++ runtimes are linked into the DLL, so it imports
# only Windows's own DLLs. Its PE header says Windows 7 (6.1): Qt compiles
# itself against the Windows 7 API, and the linker's default (4.0 or 5.2)
# would claim Windows versions it does not run on.
qt_configure() { # triple tree build prefix
  local triple=$1 tree=$2 build=$3 prefix=$4
  cd "$build" && "$tree/configure" -opensource -confirm-license \
    -prefix "$prefix" -external-hostbindir "$QT_HOST_BIN" \
    -platform linux-g++ -xplatform win32-g++ -device-option CROSS_COMPILE="$triple-" \
    QMAKE_CC="$triple-gcc-posix" QMAKE_CXX="$triple-g++-posix" \
    QMAKE_LINK="$triple-g++-posix" QMAKE_LINK_C="$triple-gcc-posix" \
    QMAKE_LFLAGS+=-static \
    QMAKE_LFLAGS+=-Wl,--major-subsystem-version,6 QMAKE_LFLAGS+=-Wl,--minor-subsystem-version,1 \
    -release -shared -strip -nomake examples -nomake tests \
    -no-gui -no-widgets -no-opengl -no-dbus -no-icu -no-openssl \
    -qt-zlib -qt-pcre -qt-doubleconversion -no-feature-sql
}

build_qtbase() {
  local triple=$1 version=$2 prefix=$3 tree build=$3.build
  tree=$(fetch_source qtbase-opensource-src "$version") || return 1
  mkdir -p "$build" || return 1
  step "configure (about a minute)" qt_configure "$triple" "$tree" "$build" "$prefix" || {
    # configure's own reasons are in its config.log.
    [ -f "$build/config.log" ] && tail -60 "$build/config.log" >>"$prefix.log"
    return 1
  }
  # Only the parts QtCore needs: its makefiles, the bundled PCRE2 and QtCore.
  step makefiles sh -c 'mkdir -p "$1/src" && cd "$1/src" && "$2/qmake" -o Makefile "$3/src/src.pro" -qtconf "$1/bin/qt.conf"' \
    - "$build" "$QT_HOST_BIN" "$tree" || return 1
  step "QtCore makefiles" make -C "$build/src" sub-corelib-qmake_all || return 1
  step PCRE2 make -C "$build/src/3rdparty/pcre2" -j"$JOBS" || return 1
  step "QtCore (several minutes)" make -C "$build/src/corelib" -j"$JOBS" || return 1
  step install make -C "$build/src/corelib" install || return 1
  # Qt5::Core's include path names mkspecs/win32-g++.
  step "install mkspecs" make -C "$build" install_mkspecs || return 1
  # Qt's CMake files insist on finding these tools in the prefix.
  mkdir -p "$prefix/bin" || return 1
  for tool in qmake moc rcc; do
    ln -sfn "$QT_HOST_BIN/$tool" "$prefix/bin/$tool" || return 1
  done
  [ -f "$prefix/bin/Qt5Core.dll" ] || return 1
  # A runtime DLL import would mean the runtimes were not linked in, and the
  # DLL would not start where only Windows's own DLLs sit beside it.
  if "$triple-objdump" -p "$prefix/bin/Qt5Core.dll" |
      grep -iE 'DLL Name: *lib(stdc\+\+|gcc_s|winpthread)' >>"$prefix.log"; then
    echo "Qt5Core.dll imports a runtime DLL (listed above)" >>"$prefix.log"
    return 1
  fi
}

for triple in "${TRIPLES[@]}"; do
  for pkg in "${PACKAGES[@]}"; do
    version=$(src_version "$pkg")
    [ -n "$version" ] || { echo "no source package $pkg: are deb-src entries configured?" >&2; exit 1; }
    base="$CACHE/$triple/$pkg"
    key="$version+r${RECIPE[$pkg]}"
    prefix="$base/$key"
    if [ -f "$prefix/.complete" ]; then
      log "$triple $pkg $key: cached"
    else
      log "$triple $pkg $key: building (full log: $prefix.log)"
      rm -rf "$prefix" "$prefix.build"; mkdir -p "$base"
      STEP_LOG=$prefix.log STEP_WHAT="$triple $pkg"
      : >"$STEP_LOG"
      started=$SECONDS
      # build_<package name up to its first dash>
      if ! "build_${pkg%%-*}" "$triple" "$version" "$prefix"; then
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
      log "$triple $pkg $key: built in $((SECONDS - started)) s"
    fi
    ln -sfn "$key" "$base/current"
  done
done
