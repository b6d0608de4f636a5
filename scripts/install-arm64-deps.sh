#!/usr/bin/env bash
# Installs what the arm64 cross build and its test run need on an x86-64 Debian 12 host: the
# cross compiler, qemu-user, and the arm64 builds of the libraries through Debian multiarch. The
# host's own Qt tools (moc, uic, rcc) come from install-deps.sh. GStreamer's plugins-base -dev
# package cannot be installed for both architectures: the cross build uses the host's headers and
# the arm64 libraries.
# Idempotent: prints nothing and touches nothing when all packages are present.
set -euo pipefail

HOST_PACKAGES=(g++-aarch64-linux-gnu qemu-user)
ARM64_PACKAGES=(
  libc6 libstdc++6
  qt6-base-dev qt6-multimedia-dev qt6-positioning-dev libgl-dev
  qt6-declarative-dev qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qtquick
  qml6-module-qtquick-controls qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtmultimedia
  libexiv2-dev libcurl4-openssl-dev libhwy-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-0
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  libgtest-dev libgmock-dev
)

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

missing=()
for pkg in "${HOST_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
for pkg in "${ARM64_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg:arm64" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg:arm64")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-arm64-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  $SUDO dpkg --add-architecture arm64
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-arm64-deps: done"
