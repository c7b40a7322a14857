#!/bin/bash
# Prepares a Debian 12 machine (as root) for building and testing every part
# of the project: Debian packages, deb-src entries, and the Windows libraries
# built from Debian's source packages into a cache outside the clone.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config dpkg-dev curl ca-certificates
  libcurl4-openssl-dev libjsoncpp-dev libminizip-dev zlib1g-dev
  libgtest-dev libgmock-dev googletest libcpp-httplib-dev libssl-dev libboost-dev
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix mingw-w64-tools
  libz-mingw-w64-dev wine64 wine32:i386 xvfb xauth zip procps
  # Native Qt 5 for the capture library; its moc, rcc and qmake also build
  # and serve the Windows Qt 5 Core.
  qtbase5-dev qtbase5-dev-tools qt5-qmake-bin
  # The capture library records the sound server's monitor on Linux; the
  # tests run a sound server of their own (and Wine's audio driver talks to
  # it), play into it with pacat and read several time zones.
  libpulse-dev pulseaudio pulseaudio-utils tzdata
  # The window under the mouse on Linux asks the X server (input shapes,
  # owning processes); its tests move the cursor through XTest on an Xvfb.
  libx11-dev libx11-xcb-dev libxext-dev libxres-dev libxtst-dev
  # ... and the elements inside other applications' windows on the
  # accessibility bus; its tests start that bus from a session bus of their
  # own for a GTK application, and the benchmark compares with xdotool.
  libatspi2.0-dev at-spi2-core dbus-daemon libgtk-3-dev xdotool
  # The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev
  # The tree's source format (.clang-format): clang-format -i on changed files.
  clang-format
)

export DEBIAN_FRONTEND=noninteractive

# apt-get source needs deb-src entries; mirror the binary entries.
SRC_LIST=/etc/apt/sources.list.d/brenvik-deb-src.sources
if [ ! -f "$SRC_LIST" ]; then
  cat > "$SRC_LIST" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  NEED_UPDATE=1
fi

# The x86 Windows suite runs under 32-bit Wine, which comes from the i386
# architecture of the same archive.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "[setup] adding the i386 architecture"
  dpkg --add-architecture i386
  NEED_UPDATE=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Always refresh the lists: source packages are fetched by their current
# version, and the archive drops superseded ones. A failed refresh is not
# fatal while everything needed is already here.
echo "[setup] apt-get update"
if ! apt-get update -qq; then
  [ ${#missing[@]} -eq 0 ] && [ -z "${NEED_UPDATE:-}" ] || exit 1
  echo "[setup] apt-get update failed; going on with the installed packages"
fi
candidate=$(apt-cache policy wine32:i386 2>/dev/null | sed -n 's/^ *Candidate: *//p')
if [[ " ${missing[*]} " == *" wine32:i386 "* ]] && [[ ! "$candidate" =~ ^[0-9] ]]; then
  echo "[setup] the package archive offers no i386 packages (no i386 index), so wine32:i386," >&2
  echo "[setup] which runs the x86 Windows tests, cannot be installed. Check that the apt sources" >&2
  echo "[setup] are not limited to one architecture (an 'Architectures:' or '[arch=...]' setting)." >&2
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "[setup] installing: ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

echo "[setup] Windows libraries"
scripts/build-windows-deps.sh
