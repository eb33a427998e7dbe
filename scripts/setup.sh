# Shared by scripts/run and scripts/test: installs what is missing and builds.
# shellcheck shell=bash

ZERBEX_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZERBEX_BUILD="${ZERBEX_BUILD:-$ZERBEX_ROOT/build}"

ZERBEX_PACKAGES=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-tools-dev qt6-l10n-tools portaudio19-dev libasound2-dev libjack-jackd2-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev ffmpeg
  libgtest-dev libbenchmark-dev libtbb-dev libsoundtouch-dev libebur128-dev
  fonts-wqy-microhei
  xvfb xauth poppler-utils
  imagemagick xdotool
  file dpkg-dev desktop-file-utils appstream lintian man-db
  clang-format clang-tidy
)
# What scripts/ci-reliability adds: clang's sanitizers and libFuzzer, and llvm-symbolizer for
# their stacks.
ZERBEX_RELIABILITY_PACKAGES=(clang libclang-rt-14-dev llvm-14)

# Every build (g++ and clang) keeps line tables, enough for the file and line in a sanitizer's
# or a crash's stack, not the full debug information that only a debugger reads: a fifth to a
# third less compile time. A debugging session configures its own folder with -g.
ZERBEX_BUILD_FLAGS=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG")

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
  local missing=()
  local pkg
  for pkg in "${ZERBEX_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}"
  fi
}

# Fails when a C++ source differs from what clang-format makes of it.
check_format() {
  local files
  # Libraries kept in third_party stay as their authors wrote them.
  mapfile -t files < <(git -C "$ZERBEX_ROOT" ls-files '*.cpp' '*.h' ':(exclude)third_party/*')
  (cd "$ZERBEX_ROOT" && clang-format --dry-run --Werror "${files[@]}")
}

# One build at a time in a folder: CI starts the sanitizer trees in the background, and a
# script that needs one waits here until it is done.
configure_and_build() {
  local build_dir="$1"
  shift
  mkdir -p "$build_dir"
  (
    if ! flock -n 9; then
      echo "waiting for the build in $build_dir"
      hurry_build "$build_dir"
      flock 9
    fi
    cmake -S "$ZERBEX_ROOT" -B "$build_dir" -G Ninja "${ZERBEX_BUILD_FLAGS[@]}" "$@" &&
      cmake --build "$build_dir" --parallel "$(nproc)"
  ) 9>"$build_dir/.build-lock"
}

# hurry_build DIR: a build in DIR that runs at the lowest priority (.ci/run's background
# trees) is waited for now, so it goes on at the normal one, ahead of any other work on the
# machine. Ninja and the compilers run in the build folder; what Ninja starts later inherits.
hurry_build() {
  local dir proc
  dir="$(cd "$1" && pwd -P)"
  for proc in /proc/[0-9]*; do
    if [ "$(readlink "$proc/cwd" 2>/dev/null)" = "$dir" ]; then
      chrt --other -a -p 0 "${proc#/proc/}" >/dev/null 2>&1 || true
      renice -n 0 -p "${proc#/proc/}" >/dev/null 2>&1 || true
    fi
  done
}

# Builds only the given targets. A build folder that is already set up is not configured
# again: Ninja reruns CMake itself when a CMakeLists.txt changed.
build_targets() {
  local build_dir="$1"
  shift
  if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S "$ZERBEX_ROOT" -B "$build_dir" -G Ninja "${ZERBEX_BUILD_FLAGS[@]}"
  fi
  cmake --build "$build_dir" --parallel "$(nproc)" --target "$@"
}

# Runs the suite in the current build folder with the given ctest options. Playback that is
# captured at a sound card's pace runs afterwards, two at a time (each mostly waits for the
# device's pace; nothing else competes with them for the processor), and gets a second try: a
# run starved by the machine is no finding.
run_all_tests() {
  local realtime_by_name='SoakTest.RandomFilesPlayAsTheyRender'
  local status=0
  ctest --output-on-failure --parallel "$(nproc)" "$@" -LE '^realtime$' -E "$realtime_by_name" ||
    status=1
  ctest --output-on-failure --parallel 2 "$@" -L '^realtime$' --repeat until-pass:2 || status=1
  ctest --output-on-failure "$@" -R "$realtime_by_name" --repeat until-pass:2 --no-tests=ignore ||
    status=1
  return "$status"
}
