#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running Sonvale needs.
# Idempotent: packages already present are left as they are. Needs root or sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libbz2-dev libcrypto++-dev
  libjpeg62-turbo-dev libmpg123-dev libsdl2-dev
  qt6-base-dev
  libsqlite3-dev
  xvfb xauth lame
  clang libclang-rt-14-dev  # the libFuzzer build of tests/fuzz (README)
)

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
