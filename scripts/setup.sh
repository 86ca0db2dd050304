#!/usr/bin/env bash
# Installs the Debian packages a command needs, only those that are missing.
#   scripts/setup.sh run     what building and running the program needs (scripts/run.sh)
#   scripts/setup.sh test    that, the command-line tool's libraries and the tools of the tests,
#                            fuzzing and benchmarks (the default)
#   scripts/setup.sh bench   that, and the peers of the per-call benchmark (bench/PerCallBench.cpp);
#                            only the benchmark links them, never the library
set -euo pipefail
what=${1:-test}

run_packages=(
  cmake ninja-build g++                      # toolchain
  qt6-base-dev                               # the desktop program: Qt 6 Widgets and its display plugins
)
test_packages=(
  clang libclang-rt-dev                      # the fuzz targets: clang with libFuzzer and the sanitizer runtimes
  libgtest-dev libbenchmark-dev              # tests and benchmarks
  libssl-dev                                 # OpenSSL's libcrypto: test oracle and benchmark peer
  xvfb xauth                                 # a virtual display for looking at the window without a screen
  time                                       # /usr/bin/time for the memory measurements
  qemu-user                                  # the engine tests on a processor without AES-NI
  valgrind                                   # the constant-time check (memcheck and its headers)
  g++-aarch64-linux-gnu                      # the aarch64 cross build, its tests run under qemu-aarch64
  libcli11-dev libargon2-dev pkg-config      # the command-line tool orvoaes: options, passphrase hashing
                                             # (pkg-config also reads the installed orvoaes.pc in a consumer check)
  openssl python3 python3-cryptography       # the tool's tests: its peers on the command line and in Python
  pybind11-dev python3-dev                   # the Python module orvoaes (its tests use python3-cryptography)
)
bench_packages=(
  libbotan-2-dev libcrypto++-dev libsodium-dev  # the per-call benchmark's peers beside OpenSSL
)

case $what in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  bench) packages=("${run_packages[@]}" "${test_packages[@]}" "${bench_packages[@]}") ;;
  *) echo "usage: $0 [run|test|bench]" >&2; exit 2 ;;
esac

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
