# Shared by scripts/test, scripts/demo and bench/run: Debian packages, configure and build.
# shellcheck shell=bash

ORVALT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ORVALT_BUILD=${ORVALT_BUILD:-$ORVALT_ROOT/build}

# What building, testing and the demo need on Debian 12.
ORVALT_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev qt6-qpa-plugins
  zlib1g-dev   # the link's compressed block streams
  adwaita-icon-theme libqt6svg6 fonts-dejavu-core
  socat lrzsz
  python3      # the fault harness (tests/harness), standard library only
  dpkg-dev file desktop-file-utils appstream librsvg2-bin groff-base fontconfig   # the package
  clang libclang-rt-14-dev lld   # the fuzz targets (scripts/fuzz)
)

# Installs whatever of "$@" is missing; says what to run when that needs root.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Orvalt needs these Debian packages: ${missing[*]}" >&2
    echo "Install them as root, then run this script again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >/dev/null
  apt-get install -y -q "${missing[@]}" >/dev/null
}

# Configures (once) and builds the given targets, or everything.
build_orvalt() {
  local type=${ORVALT_BUILD_TYPE:-RelWithDebInfo}
  if [ ! -f "$ORVALT_BUILD/build.ninja" ]; then
    cmake -S "$ORVALT_ROOT" -B "$ORVALT_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="$type" ${ORVALT_CMAKE_ARGS:-} >/dev/null
  fi
  cmake --build "$ORVALT_BUILD" -j "$(nproc)" ${1:+--target "$@"}
}
