#!/usr/bin/env bash
# Installs whatever the build and the tests need (on Debian, as root), builds
# every deliverable with every toolchain required, runs every test, then
# builds the host code once more with AddressSanitizer and UBSan and runs the
# host tests again.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ clang lld llvm libgtest-dev libclang-rt-dev python3 file time
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
  qemu-system-x86 ovmf qemu-system-arm qemu-efi-aarch64 mtools dosfstools linux-image-amd64
  dpkg-dev lintian man-db clang-format dmidecode ninja-build
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

install_missing() {
  local missing=()
  for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    echo "test-all: every package is installed"
    return
  fi
  echo "test-all: installing ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "test-all: run as root to install the missing packages" >&2
    exit 1
  fi
  # wine32 is an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-remove "${missing[@]}"
}

# step NAME COMMAND...: runs one part of the test command and says how long
# it took, so that a slow part shows.
step() {
  local name=$1 start=$SECONDS
  shift
  "$@"
  echo "test-all: $name took $((SECONDS - start)) s"
}

step "installing the packages" install_missing

# Every C++ source keeps the layout of .clang-format.
echo "test-all: C++ sources in the layout of .clang-format"
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror

# Two cores: two compile jobs, and two tests side by side (a firmware or
# virtual-machine boot keeps one core busy; the boots start first).
jobs=2

# configure DIR OPTIONS...: a new build directory is made for Ninja where it
# is installed; an existing one keeps the generator it was made with.
configure() {
  local dir=$1 generator=()
  shift
  if [ ! -e "$dir/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    generator=(-G Ninja)
  fi
  cmake -S . -B "$dir" "${generator[@]}" "$@"
}

# run_tests DIR CTEST-OPTIONS...: every test of DIR that the options select,
# its output kept in DIR/ctest.log.
run_tests() {
  local dir=$1
  shift
  (cd "$dir" && ctest -j"$jobs" --output-on-failure "$@" | tee ctest.log)
}

echo "test-all: full build (every toolchain required)"
step "configuring the full build" configure build -DQORVEX_REQUIRE_ALL=ON
step "the full build" cmake --build build -j"$jobs"
step "the full build's tests" run_tests build

# The sanitizers watch the host code: the host programs and their tests are
# all this build compiles and runs (the images, the Windows programs, the
# boots and the release have run above, and the fuzz targets carry the
# sanitizers themselves).
echo "test-all: host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# Unoptimized: the checks are the same, and the large test tables compile
# several times faster with the sanitizers at -O0.
step "configuring the sanitizer build" configure build-sanitize -DQORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
step "the sanitizer build" cmake --build build-sanitize -j"$jobs" --target core_test runtime_binding_test qorvex_efi_tests qorvexw
step "the sanitizer build's tests" run_tests build-sanitize -L "host|efi"

# The 32-bit Windows program runs under 32-bit Wine here or, where this machine
# runs no 32-bit x86 code, in a virtual machine: one test per way, say which.
for way in "cli_wine32:directly on this machine" "cli_wine32_vm:in a virtual machine (this machine runs no 32-bit x86 code)"; do
  if grep -Eq "Test +#[0-9]+: ${way%%:*} \.+ +Passed" build/ctest.log; then
    echo "test-all: the 32-bit Windows program was tested under 32-bit Wine ${way#*:}"
  fi
done

# A test that cannot run on this machine says why in its output; name it here.
skipped=$(grep -h -- '\*\*\*Skipped' build/ctest.log build-sanitize/ctest.log | sed 's/.*Test *#[0-9]*: *\([^ ]*\).*/\1/' | sort -u | tr '\n' ' ' || true)
if [ -n "$skipped" ]; then
  echo "test-all: PASSED, except tests skipped because this machine cannot run them: $skipped"
else
  echo "test-all: PASSED: every test of the full build and the sanitizer build passed"
fi
