#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++                      # toolchain
  clang libclang-rt-dev                      # the fuzz targets: clang with libFuzzer and the sanitizer runtimes
  libgtest-dev libbenchmark-dev              # tests and benchmarks
  libssl-dev                                 # OpenSSL's libcrypto: test oracle and benchmark peer
  qt6-base-dev xvfb xauth                    # the desktop program and its window tests
  time                                       # /usr/bin/time for the memory measurements
  qemu-user                                  # the engine tests on a processor without AES-NI
  valgrind                                   # the constant-time check (memcheck and its headers)
  g++-aarch64-linux-gnu                      # the aarch64 cross build, its tests run under qemu-aarch64
  libcli11-dev libargon2-dev pkg-config      # the command-line tool orvoaes: options, passphrase hashing
  openssl python3 python3-cryptography       # the tool's tests: its peers on the command line and in Python
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
