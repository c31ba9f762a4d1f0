#!/usr/bin/env bash
# Configures and builds one flavour of Quolva with CMake and Ninja.
#   scripts/build.sh release   optimised program, in build/release
#   scripts/build.sh test      warnings as errors, tests included, in build/test
#   scripts/build.sh sanitize  the SWF writer and its tests under ASan/LSan/UBSan, in build/sanitize
#   scripts/build.sh fuzz      the libFuzzer targets (clang), in build/fuzz
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-release}
out="$top/build/$flavour"
case "$flavour" in
  release)  args=(-DCMAKE_BUILD_TYPE=Release -DQUOLVA_TESTS=OFF) ;;
  test)     args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOLVA_WERROR=ON) ;;
  sanitize) args=(-DCMAKE_BUILD_TYPE=Debug -DQUOLVA_WERROR=ON -DQUOLVA_SANITIZE=ON -DQUOLVA_ONLY_SWF=ON) ;;
  fuzz)     args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUOLVA_FUZZ=ON -DQUOLVA_TESTS=OFF
                  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "build.sh: unknown flavour '$flavour' (release, test, sanitize, fuzz)" >&2; exit 2 ;;
esac
# A compiler cache, where one is installed, makes rebuilds in several checkouts cheap.
if command -v ccache >/dev/null 2>&1; then
  args+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$top")}" CCACHE_NOHASHDIR=1
fi
cmake -S "$top" -B "$out" -G Ninja "${args[@]}" >/dev/null
cmake --build "$out" -j"$(nproc)"
