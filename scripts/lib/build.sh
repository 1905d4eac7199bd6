# Sourced by the entry scripts (test, demo, bench, fuzz, release): configures
# and builds a CMake preset into build/<preset>, its output in a log that is
# shown (its end) only when the build fails.
#   build PRESET [CMAKE_OPTION...] [--target TARGET...]
# Returns non-zero after printing the log's last 40 lines. BUILD_LOG names
# the log (default build/<preset>.log).
build() {
  local preset=$1
  shift
  local options=() targets=()
  while [ $# -gt 0 ]; do
    if [ "$1" = --target ]; then
      shift
      targets=("$@")
      break
    fi
    options+=("$1")
    shift
  done
  local log=${BUILD_LOG:-build/$preset.log}
  local build_args=(--build "build/$preset" -j "$(nproc)")
  [ ${#targets[@]} -gt 0 ] && build_args+=(--target "${targets[@]}")
  mkdir -p build
  if ! { cmake --preset "$preset" "${options[@]}" && cmake "${build_args[@]}"; } >"$log" 2>&1; then
    tail -40 "$log"
    echo "build of $preset failed (whole log: $log)"
    return 1
  fi
}
