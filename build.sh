#!/usr/bin/env bash
# Set up a Debian 12 machine, build OBRIN and run it or its tests.
#   ./build.sh run      install what is missing, build (Release) and start the program
#   ./build.sh test     install what is missing, build (Release) and run the whole test suite
#   ./build.sh asan     the same test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
#   ./build.sh bench    build and run the benchmarks
#   ./build.sh fuzz     a short run of every fuzz target (tools/fuzz.sh long for a long one)
#   ./build.sh package  build the Debian package obrin_<version>_<arch>.deb (Release, no tests)
#                       in build-package/, list its contents and check it with lintian
set -euo pipefail
cd "$(dirname "$0")"

# What building and running the program needs.
RUN_PACKAGES=(build-essential cmake pkgconf qt6-base-dev libgl-dev fonts-dejavu-core
              libqcustomplot-dev libxy-dev libpugixml-dev gemmi-dev tao-pegtl-dev libstb-dev libeigen3-dev
              libzip-dev zlib1g-dev libbz2-dev)
# What the tests, benchmarks and fuzz targets need besides.
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev python3 python3-gemmi python3-numpy
               clang-14 libclang-rt-14-dev llvm-14 desktop-file-utils appstream shared-mime-info
               hyperfine)
# What building and checking the Debian package needs besides.
PACKAGE_PACKAGES=(dpkg-dev file lintian)

install_missing() {  # install_missing PACKAGE...
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

jobs=$(nproc 2>/dev/null || echo 2)

# check_hardening DEB: every program of the package is position-independent, has read-only
# relocations bound at start and calls the stack protector and the fortified functions.
check_hardening() {
  local root bad=0
  root=$(mktemp -d)
  dpkg-deb -x "$1" "$root"
  for program in "$root"/usr/bin/*; do
    local name header dynamic symbols
    name=$(basename "$program")
    header=$(readelf -lW "$program")
    dynamic=$(readelf -dW "$program")
    symbols=$(readelf --dyn-syms -W "$program")
    grep -q 'Elf file type is DYN' <<<"$header" || { echo "$name: not position-independent"; bad=1; }
    grep -q 'GNU_RELRO' <<<"$header" || { echo "$name: no read-only relocations"; bad=1; }
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$dynamic" || { echo "$name: relocations not bound at start"; bad=1; }
    grep -q '__stack_chk_fail' <<<"$symbols" || { echo "$name: no stack protector"; bad=1; }
    # __snprintf_chk@GLIBC and the like; the stack protector's __stack_chk_fail does not match.
    grep -q '_chk@' <<<"$symbols" || { echo "$name: no fortified functions"; bad=1; }
  done
  rm -rf "$root"
  [ "$bad" -eq 0 ] || { echo "the package's programs lack hardening" >&2; exit 1; }
  echo "hardening: every program is PIE, full RELRO with BIND_NOW, stack protector and FORTIFY"
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build "$dir" -j "$jobs"
}

case "${1:-}" in
  run)
    install_missing "${RUN_PACKAGES[@]}"
    build build -DOBRIN_BUILD_GUI=ON -DOBRIN_BUILD_TESTS=OFF
    exec ./build/bin/obrin
    ;;
  test)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build build -DOBRIN_BUILD_GUI=ON -DOBRIN_BUILD_TESTS=ON
    ctest --test-dir build --output-on-failure -j "$jobs"
    ;;
  asan)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOBRIN_SANITIZE=ON -DOBRIN_BUILD_GUI=ON -DOBRIN_BUILD_TESTS=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp" \
      ctest --test-dir build-asan --output-on-failure -j "$jobs"
    ;;
  bench)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    build build-bench -DOBRIN_BUILD_TESTS=OFF -DOBRIN_BUILD_BENCH=ON
    for b in build-bench/bin/bench_*; do "$b"; done
    ;;
  fuzz)
    install_missing "${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    tools/fuzz.sh smoke
    ;;
  package)
    install_missing "${RUN_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    # The distribution's hardening, all of it (stack protector, FORTIFY, read-only relocations
    # bound at start, position-independent programs): the programs parse downloaded files.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    ldflags=$(dpkg-buildflags --get LDFLAGS)
    build build-package -DOBRIN_BUILD_GUI=ON -DOBRIN_BUILD_TESTS=OFF -DOBRIN_BUILD_BENCH=OFF \
      -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags"
    rm -f build-package/obrin_*.deb
    (cd build-package && cpack -G DEB)
    deb=$(ls build-package/obrin_*.deb)
    dpkg-deb --info "$deb"
    dpkg-deb --contents "$deb"
    check_hardening "$deb"
    # Errors fail the build; warnings are printed for the record.
    lintian --fail-on error "$deb"
    echo "$deb"
    ;;
  *)
    echo "usage: $0 run|test|asan|bench|fuzz|package" >&2
    exit 2
    ;;
esac
