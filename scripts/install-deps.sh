#!/usr/bin/env bash
# Installs everything Corvane needs to build, test and benchmark on Debian 12,
# from Debian's own packages. Safe to run again.
#
# pugixml is built from Debian's source package (in compact mode, which the
# binary package lacks), unpacked into /var/cache/corvane-src (CORVANE_SOURCES).
# Chromium, its driver and Selenium open the HTML report in a browser in the tests.
#
#   --windows  also the Windows cross-build: mingw-w64, widl, Wine, and the
#              libxml2 source package that Corvane.dll is built with; and
#              Wine's 32-bit loader (wine32, from Debian's i386 packages) where
#              the kernel runs 32-bit programs
set -euo pipefail

windows=false
for arg in "$@"; do
  case "$arg" in
    --windows) windows=true ;;
    *) echo "usage: $0 [--windows]" >&2; exit 2 ;;
  esac
done

packages=(
  build-essential cmake ninja-build pkg-config
  libxml2-dev nlohmann-json3-dev dpkg-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  python3 python3-jsonschema
  chromium chromium-driver python3-selenium
)

if $windows; then
  packages+=(
    g++-mingw-w64-x86-64-win32 gcc-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686
    mingw-w64-tools libwine-dev wine wine64 ccache
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine runs 32-bit Windows programs through a 32-bit Linux process, wine32 from
# Debian's i386 packages. Where the kernel runs no 32-bit programs that loader
# cannot start, and installing it would break wine for the 64-bit programs too
# (Debian's wine starts the 32-bit loader first), so it is installed only after
# the i386 C library has shown that 32-bit programs run here.
if $windows && ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    "${sudo_cmd[@]}" apt-get update -qq
  fi
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    libc6:i386
  if /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
      --no-install-recommends wine32:i386
  else
    echo "install-deps: this kernel runs no 32-bit programs, so wine32 is not installed;" \
      "the Windows check builds the 32-bit Corvane.dll but cannot run it here" >&2
  fi
fi

# Source packages come from the same archives as the binary ones: the machine's
# own entries, with deb-src for deb.
sources=${CORVANE_SOURCES:-/var/cache/corvane-src}
wanted=(pugixml)
$windows && wanted+=(libxml2)
fetch=()
for p in "${wanted[@]}"; do
  compgen -G "$sources/$p-*/" >/dev/null || fetch+=("$p")
done
if ((${#fetch[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  if ! grep -rqs "deb-src" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    {
      [ -f /etc/apt/sources.list ] && sed -n 's/^deb /deb-src /p' /etc/apt/sources.list
      true
    } | "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/corvane-deb-src.list >/dev/null
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed 's/^Types: deb$/Types: deb-src/' "$f" |
        "${sudo_cmd[@]}" tee "/etc/apt/sources.list.d/corvane-src-$(basename "$f")" >/dev/null
    done
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" mkdir -p "$sources"
  (cd "$sources" && "${sudo_cmd[@]}" apt-get source -qq "${fetch[@]}")
fi
