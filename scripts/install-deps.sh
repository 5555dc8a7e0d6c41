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

# Debian keeps gmp.h in the multiarch folder, other systems directly in
# /usr/include: either one will do.
gmp_header=no
for h in /usr/include/gmp.h /usr/include/*/gmp.h; do
  [ -e "$h" ] && gmp_header=yes
done
[ $gmp_header = yes ] || need+=(libgmp-dev)

# sympy is the tests' independent reference. Any python3 that imports it
# will do (the build looks in the same places); Debian's package serves the
# system interpreter.
sympy=no
for py in python3 /usr/bin/python3; do
  "$py" -c 'import sympy' >/dev/null 2>&1 && sympy=yes && break
done
[ $sympy = yes ] || need+=(python3-sympy)

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
