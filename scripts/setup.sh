#!/usr/bin/env bash
# Makes sure the tools the build needs are on this machine: a C++20 compiler, CMake, GoogleTest and the libraries
# and programs below.
# On a Debian machine it installs what is missing with apt-get and says so.
set -euo pipefail

missing=()
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ ! -f /usr/include/gtest/gtest.h ] && [ ! -f /usr/local/include/gtest/gtest.h ]; then
  missing+=(libgtest-dev)
fi
# JSON of the run summary; XML and SVG tools for the check that the residual plot renders.
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
command -v xmllint >/dev/null 2>&1 || missing+=(libxml2-utils)
command -v rsvg-convert >/dev/null 2>&1 || missing+=(librsvg2-bin)
# Decompression of gzip, compress, bzip2 and xz input files.
if [ ! -f /usr/include/archive.h ] && [ ! -f /usr/local/include/archive.h ]; then
  missing+=(libarchive-dev)
fi
# Survey campaigns: the campaign file (toml++), the network adjustment (Eigen), coordinate systems (PROJ and its
# database), the engines that run the jobs (GNU parallel; Slurm with munge for clusters), and the browser that
# checks the report page renders (Chromium; its test is skipped where it is not installed).
command -v pkg-config >/dev/null 2>&1 || missing+=(pkg-config)
[ -f /usr/include/toml++/toml.h ] || missing+=(libtomlplusplus-dev)
[ -f /usr/include/eigen3/Eigen/Dense ] || missing+=(libeigen3-dev)
[ -f /usr/include/proj.h ] || missing+=(libproj-dev)
[ -f /usr/share/proj/proj.db ] || missing+=(proj-data)
command -v parallel >/dev/null 2>&1 || missing+=(parallel)
command -v sbatch >/dev/null 2>&1 || missing+=(slurm-wlm)
command -v munge >/dev/null 2>&1 || missing+=(munge)
command -v chromium >/dev/null 2>&1 || missing+=(chromium)
# The fuzz targets (make fuzz): clang with libFuzzer and the sanitizer runtimes.
command -v clang++-14 >/dev/null 2>&1 || command -v clang++ >/dev/null 2>&1 || missing+=(clang-14)
ls /usr/lib/llvm-14/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
  ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a >/dev/null 2>&1 || missing+=(libclang-rt-14-dev)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing missing packages: ${missing[*]}"
if ! command -v apt-get >/dev/null 2>&1; then
  echo "setup: apt-get not found; install ${missing[*]} by hand" >&2
  exit 1
fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "setup: not root and no sudo; install ${missing[*]} by hand" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}" >/dev/null
echo "setup: installed ${missing[*]}"
