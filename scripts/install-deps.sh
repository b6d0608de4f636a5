#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need, plus those of the
# optional groups named as arguments (`install-deps.sh tidy`: clang-tidy for `make tidy`).
# Idempotent: prints nothing and touches nothing when all packages are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-multimedia-dev qt6-positioning-dev libgl-dev
  qt6-declarative-dev qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtquick
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-window
  libexiv2-dev exiv2 libhwy-dev
  fonts-liberation2
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 clang-format ccache
  libcurl4-openssl-dev openssl
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-pipewire gstreamer1.0-tools
  gstreamer1.0-plugins-bad gstreamer1.0-plugins-ugly gstreamer1.0-libav qml6-module-qtmultimedia
  pipewire pipewire-bin wireplumber dbus-daemon
  librsvg2-bin help2man desktop-file-utils appstream file dpkg-dev
  libcpp-httplib-dev libqt6sql6-sqlite libqt6sql6-psql postgresql chromium
  qt6-declarative-dev qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-templates
  qml6-module-qtquick-layouts qml6-module-qtquick-window qml6-module-qtqml-workerscript
  qt6-l10n-tools qt6-tools-dev
  xvfb at-spi2-core python3-pyatspi
)

# Optional groups: tools only some commands use, kept out of the default set (and so out of CI).
for group in "$@"; do
  case "$group" in
    tidy) PACKAGES+=(clang-tidy) ;;
    *)
      echo "install-deps: unknown package group '$group' (known: tidy)" >&2
      exit 2
      ;;
  esac
done

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-deps: done"
