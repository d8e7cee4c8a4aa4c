#!/usr/bin/env bash
# Installs what the build, the program and the tests need on Debian 12.
# Idempotent: apt-get runs only when something is missing.
#   --full      also the heavier independent readers (LibreOffice, gnumeric, dBase index tools)
#   --windows   also the Windows cross-build: MinGW-w64 compilers, Wine, Qt's host tools, GoogleTest's
#               sources (scripts/build-windows.sh, scripts/test-windows.sh)
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ clang clang-format clang-tidy libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-charts-dev qt6-serialport-dev libqt6opengl6-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation2 poppler-utils socat xvfb xauth x11-utils
  python3 python3-dbfread python3-xlrd python3-olefile libdbd-xbase-perl
  libxlsxwriter-dev python3-openpyxl
  dpkg-dev lintian desktop-file-utils appstream librsvg2-bin bash-completion man-db
)
full_packages=(
  libreoffice-calc-nogui libreoffice-base-drivers gnumeric libshp-dev hyperfine shapelib time
)

windows_packages=(
  g++-mingw-w64-x86-64-posix wine64 qt6-base-dev-tools googletest zip xz-utils xdotool
)

for option in "$@"; do
  case "$option" in
    --full) packages+=("${full_packages[@]}") ;;
    --windows) packages+=("${windows_packages[@]}") ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
