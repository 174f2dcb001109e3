# Sourced by the Debian package tests, after they define $work (a scratch
# folder) and fail(). build_deb CPACK BUILD_DIR builds the package of the
# build folder into $work/package and sets deb to its path; it exits 77
# (skipped) where dpkg-deb or cpack is missing.
build_deb() {
  for tool in dpkg-deb "$1"; do
    command -v "$tool" >/dev/null 2>&1 ||
      { echo "SKIPPED: $tool not installed (Debian package dpkg or cmake)"; exit 77; }
  done
  "$1" --config "$2/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.txt" 2>&1 ||
    { cat "$work/cpack.txt"; fail "cpack -G DEB"; }
  set -- "$work"/package/*.deb
  [ $# -eq 1 ] && [ -f "$1" ] || { ls -l "$work/package"; fail "expected one .deb"; }
  deb=$1
  echo "built $(basename "$deb")"
}
