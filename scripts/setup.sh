#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 as root, and only
# what is missing.
set -euo pipefail
packages=(build-essential cmake pkg-config libhidapi-dev zlib1g-dev libssl-dev
          nlohmann-json3-dev libedit-dev libgtest-dev libgmock-dev googletest)
# The checks: clang for the fuzz targets, mandoc for the manual page, tmux for
# the prompt at a terminal, python3 for scripts/check-fuzz's campaign totals,
# stress-ng to rehearse the suite on a loaded machine, file for cpack's
# shared-library dependencies of the Debian package, universal-ctags for the
# function-length rule.
if [ "${1:-}" = "--test" ]; then
  packages+=(clang libclang-rt-dev mandoc tmux python3 stress-ng file universal-ctags)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "run as root (or with sudo) to install the packages above" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
