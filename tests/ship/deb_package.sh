# Builds the Debian package from the build folder, unpacks it into a scratch
# root and runs the unpacked program on an unpacked example; the same for
# propsmooth-report when it is built.
# Usage: sh deb_package.sh CPACK BUILD_DIR BUILT_PROGRAM VERSION [BUILT_REPORT]
# (BUILT_REPORT empty or missing: the report tool is not built.)
set -eu
cpack=$1 build=$2 built=$3 version=$4 built_report=${5:-}
for tool in dpkg-deb "$cpack"; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "SKIPPED: $tool not installed (Debian package dpkg or cmake)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.txt" 2>&1 ||
  { cat "$work/cpack.txt"; fail "cpack -G DEB"; }
set -- "$work"/package/*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { ls -l "$work/package"; fail "expected one .deb"; }
deb=$1
echo "built $(basename "$deb")"

[ "$(dpkg-deb --field "$deb" Package)" = propsmooth ] || fail "Package field"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "Version field is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
echo "$depends" | grep -q libc6 || fail "Depends does not name libc6"
# Every shared library the program loads beyond the C and C++ runtimes must
# come with the package: Debian names a runtime package after its soname
# (libhwy.so.1: libhwy1).
if command -v objdump >/dev/null 2>&1; then
  for soname in $(objdump -p "$built" | awk '$1 == "NEEDED" { print $2 }'); do
    case $soname in
      libc.so.* | libm.so.* | libpthread.so.* | libdl.so.* | librt.so.* | \
        libstdc++.so.* | libgcc_s.so.* | ld-linux*) continue ;;
    esac
    name=${soname%%.so.*} version=${soname##*.so.}
    case $name in
      *[0-9]) package=$name-$version ;;
      *) package=$name$version ;;
    esac
    echo "$depends" | grep -Eq "(^|, )$package( |,|\$)" ||
      fail "the program loads $soname but Depends does not name $package: $depends"
  done
else
  echo "objdump not installed (Debian package binutils): the program's libraries not checked"
fi
dpkg-deb --contents "$deb" >"$work/contents.txt"
for path in ./usr/bin/propsmooth ./usr/share/man/man1/propsmooth.1 \
    ./usr/share/doc/propsmooth/examples/rats.txt \
    ./usr/share/doc/propsmooth/examples/units.txt \
    ./usr/share/doc/propsmooth/examples/bad.txt; do
  grep -q " $path\$" "$work/contents.txt" || { cat "$work/contents.txt"; fail "$path not in the package"; }
done

root=$work/root
dpkg-deb -x "$deb" "$root"
mkdir "$work/unpacked" "$work/built"
examples=$root/usr/share/doc/propsmooth/examples
(cd "$work/unpacked" && "$root/usr/bin/propsmooth" "$examples/rats.txt" rats.tsv >console.txt) ||
  fail "the unpacked program ended with status $?"
(cd "$work/built" && "$built" "$examples/rats.txt" rats.tsv >console.txt) ||
  fail "built program failed on rats.txt"
for file in rats.tsv rats.log console.txt; do
  cmp "$work/unpacked/$file" "$work/built/$file" || fail "unpacked and built $file differ"
done

if [ -z "$built_report" ]; then
  ! grep -q propsmooth-report "$work/contents.txt" ||
    fail "propsmooth-report is not built but is in the package"
  echo "unpacked into a scratch root and ran usr/bin/propsmooth"
  exit 0
fi
for path in ./usr/bin/propsmooth-report ./usr/share/man/man1/propsmooth-report.1; do
  grep -q " $path\$" "$work/contents.txt" || { cat "$work/contents.txt"; fail "$path not in the package"; }
done
(cd "$work/unpacked" && "$root/usr/bin/propsmooth-report" "$examples/rats.txt" rats.html \
    --tsv rats-ci.tsv >report-console.txt) ||
  fail "the unpacked propsmooth-report ended with status $?"
(cd "$work/built" && "$built_report" "$examples/rats.txt" rats.html --tsv rats-ci.tsv \
    >report-console.txt) || fail "built propsmooth-report failed on rats.txt"
for file in rats.html rats-ci.tsv report-console.txt; do
  cmp "$work/unpacked/$file" "$work/built/$file" || fail "unpacked and built $file differ"
done
echo "unpacked into a scratch root and ran usr/bin/propsmooth and usr/bin/propsmooth-report"
