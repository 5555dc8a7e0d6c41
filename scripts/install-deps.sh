#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian packages).
set -e
need=()
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v g++ >/dev/null || need+=(g++)
command -v python3 >/dev/null || need+=(python3)
[ -e /usr/include/gtest/gtest.h ] || need+=(libgtest-dev libgmock-dev)
[ -e /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
ls /usr/include/gmp.h /usr/include/*/gmp.h >/dev/null 2>&1 || need+=(libgmp-dev)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
