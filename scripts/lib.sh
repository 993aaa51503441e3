# Shared by run.sh and test.sh (sourced): package installation and messages.
# shellcheck shell=bash

quillet_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

say() { printf '\n==> %s\n' "$*" >&2; }

# Installs the Debian packages that are missing, non-interactively; does
# nothing (and needs no network) when all are present.
ensure_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if [[ $(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null) != "install ok installed" ]]; then
      missing+=("$pkg")
    fi
  done
  ((${#missing[@]} == 0)) && return 0
  say "Installing Debian packages: ${missing[*]}"
  local sudo=()
  if ((EUID != 0)); then
    command -v sudo >/dev/null || { echo "run as root (or install sudo) to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # With recommends, as Wine is meant to be installed (GL, fonts, TLS, ...).
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" </dev/null
}

# Packages both commands need to build the Windows program and run it under Wine.
quillet_build_packages=(
  cmake ninja-build g++
  mingw-w64 g++-mingw-w64-x86-64-posix
  googletest
  wine wine64 xvfb imagemagick
  fp-utils
  wixl msitools osslsigncode openssl
)
