# Shared set-up for scripts/run, scripts/test, scripts/bench and scripts/fuzz:
# installs the Debian packages the project needs (only the missing ones) and
# configures and builds a CMake preset. Sourced, never run on its own.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libsqlite3-dev nlohmann-json3-dev libssl-dev libicu-dev uuid-dev liburiparser-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  qt6-base-dev qt6-svg-dev libgl-dev xvfb xauth x11-utils fonts-wqy-microhei
  qt6-translations-l10n  # Qt's own dialogs and buttons in Chinese
  clang libclang-rt-14-dev sqlite3
  llvm  # llvm-symbolizer: readable stack traces in the fuzzers' sanitizer reports
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
  local missing=() pkg
  for pkg in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "==> Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_preset NAME: configure once, then build incrementally.
build_preset() {
  local preset="$1"
  cd "$ROOT" || exit 1
  if [ ! -f "build/$preset/build.ninja" ]; then
    echo "==> Configuring ($preset)"
    cmake --preset "$preset" >/dev/null || exit 1
  fi
  echo "==> Building ($preset)"
  cmake --build --preset "$preset" -- -k 0 || exit 1
}
