# Shared by the scripts: the Debian packages each needs, their installation, configure and build.
# shellcheck shell=bash

ORVALT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ORVALT_BUILD=${ORVALT_BUILD:-$ORVALT_ROOT/build}

# What each script needs on Debian 12, by the names of real packages: a name that apt resolves to
# another package (a virtual one) is never reported installed, so it would be installed again on
# every run. tests/scripts/installs-nothing.sh checks every name here.
#
# Building the programs (scripts/demo, scripts/test, scripts/package, scripts/fuzz).
ORVALT_BUILD_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
  zlib1g-dev   # the link's compressed block streams
)
# Running the window as a user sees it (scripts/demo, and the tests, which drive it): the SVG
# plugins for the icons, the icon theme of the toolbar, a font.
ORVALT_RUN_PACKAGES=(libqt6svg6 adwaita-icon-theme fonts-dejavu-core)
# The tests (scripts/test): a second pseudo-terminal pair, the checks of the packaged files,
# systemd-analyze for the units (no running systemd needed), Python for the fault harness
# (tests/harness, the standard library only), and the serial device server that instruments on the
# network are tested through (started by the tests in the foreground, no service).
ORVALT_TEST_PACKAGES=(socat desktop-file-utils appstream groff-base systemd python3 ser2net)
# Making the Debian package (scripts/package): the PNG icons, dpkg-shlibdeps and what it calls.
ORVALT_PACKAGE_PACKAGES=(dpkg-dev file librsvg2-bin)
# Checking it (scripts/package-check): lintian, the libraries' owners, the Japanese font, the units.
ORVALT_PACKAGE_CHECK_PACKAGES=(lintian binutils fontconfig systemd)
# The fuzz targets (scripts/fuzz): clang with libFuzzer and the sanitizer runtime.
ORVALT_FUZZ_PACKAGES=(clang libclang-rt-14-dev lld)

# The packages of "$@" that are not installed, one a line.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# Installs whatever of "$@" is missing; says what to run when that needs root. Nothing is run when
# everything is there, as root or not.
ensure_packages() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
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
  # A name apt took for another package would be installed again by every later run.
  mapfile -t missing < <(missing_packages "${missing[@]}")
  if [ ${#missing[@]} -ne 0 ]; then
    echo "apt-get installed something else for ${missing[*]}: name the real package in scripts/lib/common.sh" >&2
    exit 1
  fi
}

# Debian's own compiler and linker flags (dpkg-buildflags), with every hardening feature: the stack
# protector, fortified functions, relocations read-only and bound at start. The tests and the
# package are built alike, so CI packages what it tested. Source paths stay as they are in the
# binaries (no -ffile-prefix-map): the tests find their data by their own source file's path.
# ORVALT_DEBIAN_FLAGS=0 leaves them out (the sanitizer build, whose checks fortified functions hide).
debian_build_flags() {
  local options="hardening=+all reproducible=-fixfilepath,+fixdebugpath"
  ORVALT_CXXFLAGS="$(cd "$ORVALT_ROOT" && DEB_BUILD_MAINT_OPTIONS=$options dpkg-buildflags --get CPPFLAGS) $(cd "$ORVALT_ROOT" && DEB_BUILD_MAINT_OPTIONS=$options dpkg-buildflags --get CXXFLAGS)"
  ORVALT_LDFLAGS=$(cd "$ORVALT_ROOT" && DEB_BUILD_MAINT_OPTIONS=$options dpkg-buildflags --get LDFLAGS)
}

# Configures (once, and again when the build flags changed) and builds the given targets, or
# everything.
build_orvalt() {
  local type=${ORVALT_BUILD_TYPE:-RelWithDebInfo}
  local flags=()
  if [ "${ORVALT_DEBIAN_FLAGS:-1}" = 1 ]; then
    debian_build_flags
    flags=(-DCMAKE_CXX_FLAGS="$ORVALT_CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$ORVALT_LDFLAGS"
           -DCMAKE_SHARED_LINKER_FLAGS="$ORVALT_LDFLAGS" -DCMAKE_MODULE_LINKER_FLAGS="$ORVALT_LDFLAGS")
  fi
  if [ ! -f "$ORVALT_BUILD/build.ninja" ]; then
    cmake -S "$ORVALT_ROOT" -B "$ORVALT_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="$type" "${flags[@]}" \
          ${ORVALT_CMAKE_ARGS:-} >/dev/null
  elif [ ${#flags[@]} -gt 0 ] &&
       ! grep -qxF "CMAKE_CXX_FLAGS:STRING=$ORVALT_CXXFLAGS" "$ORVALT_BUILD/CMakeCache.txt"; then
    # A folder configured with other flags is switched over (and built again).
    cmake "$ORVALT_BUILD" "${flags[@]}" >/dev/null
  fi
  cmake --build "$ORVALT_BUILD" -j "$(nproc)" ${1:+--target "$@"}
}
