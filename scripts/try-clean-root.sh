#!/usr/bin/env bash
# Installs a built package into a clean Debian 12 root and runs it there as an ordinary user:
#   scripts/try-clean-root.sh build/lumivue_0.1.0_amd64.deb [ROOT]
#   scripts/try-clean-root.sh build-arm64/lumivue_0.1.0_arm64.deb [ROOT]
# The root (default /var/tmp/lumivue-root-<arch>) comes from `debootstrap --variant=minbase`; it is
# entered with proot, and an arm64 root through qemu-aarch64, so no binfmt_misc entry and no mounts
# are needed. Prints the packages apt pulled in, the installed size and where the screenshot is.
set -euo pipefail
deb=$(realpath "${1:?usage: try-clean-root.sh PACKAGE.deb [ROOT]}")
arch=$(dpkg-deb -f "$deb" Architecture)
root=${2:-/var/tmp/lumivue-root-$arch}
for tool in debootstrap proot; do
  command -v "$tool" >/dev/null || { echo "try-clean-root: needs $tool (apt install $tool)" >&2; exit 1; }
done
export PROOT_NO_SECCOMP=1 # proot's seccomp acceleration mistranslates some of systemd's calls
enter=(proot -r "$root" -w / -b /proc -b /dev -b /sys)
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  [ "$arch" = arm64 ] || { echo "try-clean-root: cannot enter a $arch root here" >&2; exit 1; }
  enter+=(-q qemu-aarch64)
fi
# systemd-tmpfiles (run by systemd's maintainer script) trips proot; runtime folders do not
# matter in this root, so it is stood in for by a script that does nothing. systemd-sysusers trips
# it too, once the user it was creating is written: the install is resumed (below).
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
stub=$root.tmpfiles-stub # kept beside the root for a resume by hand (below)
printf '#!/bin/sh\nexit 0\n' >"$stub"
chmod 755 "$stub"
as_root=("${enter[@]}" -0 -b "$stub:/usr/bin/systemd-tmpfiles" /usr/bin/env -i
  PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive)

if [ ! -e "$root/etc/debian_version" ]; then
  echo "try-clean-root: debootstrap --variant=minbase bookworm ($arch) into $root"
  debootstrap --arch="$arch" --foreign --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
  rm -f "$root/proc" && mkdir -p "$root/proc" # --foreign leaves a link to the host's /proc
  "${as_root[@]}" DEBOOTSTRAP_DIR=/debootstrap /debootstrap/debootstrap --second-stage >/dev/null
  printf '#!/bin/sh\n# a chroot: start no services\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
fi
before=$("${as_root[@]}" dpkg-query -W -f '.\n' | wc -l)
cp "$deb" "$root/tmp/"
: >"$stubs/apt-install.log"
for attempt in 1 2 3 4 5; do
  [ "$attempt" -eq 1 ] || "${as_root[@]}" dpkg --configure -a >>"$stubs/apt-install.log" 2>&1 || true
  if "${as_root[@]}" apt-get install -y -q "/tmp/$(basename "$deb")" >>"$stubs/apt-install.log" 2>&1; then
    break
  fi
  if [ "$attempt" -eq 5 ]; then
    tail -5 "$stubs/apt-install.log" >&2
    # Run from an interactive shell, the same command has always got past where the script's
    # tries stopped; the cause in proot is not known.
    echo "try-clean-root: proot keeps stopping in a maintainer script. Run by hand, then this script again:" >&2
    echo "  PROOT_NO_SECCOMP=1 ${as_root[*]} dpkg --configure -a" >&2
    exit 1
  fi
  echo "try-clean-root: the install stopped (proot); resuming"
done
after=$("${as_root[@]}" dpkg-query -W -f '.\n' | wc -l)
size=$("${as_root[@]}" dpkg-query -W -f '${Installed-Size}' lumivue)
echo "try-clean-root: packages $before -> $after; lumivue itself $size KiB"

"${as_root[@]}" sh -c 'id tester >/dev/null 2>&1 || useradd -m -u 1000 tester'
"${enter[@]}" -i 1000:1000 -w /home/tester /usr/bin/env -i HOME=/home/tester PATH=/usr/bin:/bin sh -c \
  'lumivue --version && lumivue-enhance --version && lumivue-report --version &&
   lumivue --headless --no-analytics --screenshot shot.png >/dev/null 2>&1 && lumivue --list-cameras'
[ -s "$root/home/tester/shot.png" ] || { echo "try-clean-root: no screenshot was written" >&2; exit 1; }
echo "try-clean-root: the screen as user tester: $root/home/tester/shot.png"
