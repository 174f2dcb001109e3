# Builds the Debian package from the build folder, checks its documents
# (copyright, compressed manual pages, changelog), unpacks it into a scratch
# root and runs the unpacked program on an unpacked example; the same for
# propsmooth-report when it is built.
# Usage: sh deb_package.sh CPACK BUILD_DIR SOURCE_DIR BUILT_PROGRAM VERSION [BUILT_REPORT]
# (BUILT_REPORT empty or missing: the report tool is not built.)
set -eu
cpack=$1 build=$2 source=$3 built=$4 version=$5 built_report=${6:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$0")/deb_build.sh"
. "$(dirname "$0")/install_checks.sh"
build_deb "$cpack" "$build"

[ "$(dpkg-deb --field "$deb" Package)" = propsmooth ] || fail "Package field"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "Version field is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
echo "$depends" | grep -q libc6 || fail "Depends does not name libc6"
# Every shared library the program loads beyond the C and C++ runtimes must
# come with the package: Debian names a runtime package after its soname
# (libhwy.so.1: libhwy1). check_depends ELF checks those of ELF.
check_depends() {
  for soname in $(objdump -p "$1" | awk '$1 == "NEEDED" { print $2 }'); do
    case $soname in
      libc.so.* | libm.so.* | libpthread.so.* | libdl.so.* | librt.so.* | \
        libstdc++.so.* | libgcc_s.so.* | ld-linux*) continue ;;
    esac
    name=${soname%%.so.*} soversion=${soname##*.so.}
    case $name in
      *[0-9]) package=$name-$soversion ;;
      *) package=$name$soversion ;;
    esac
    echo "$depends" | grep -Eq "(^|, )$package( |,|\$)" ||
      fail "$(basename "$1") loads $soname but Depends does not name $package: $depends"
  done
}
if command -v objdump >/dev/null 2>&1; then
  check_depends "$built"
else
  echo "objdump not installed (Debian package binutils): the program's libraries not checked"
fi
dpkg-deb --contents "$deb" >"$work/contents.txt"
doc=usr/share/doc/propsmooth
for path in ./usr/bin/propsmooth ./usr/share/man/man1/propsmooth.1.gz \
    ./$doc/copyright ./$doc/changelog.gz \
    ./usr/share/doc/propsmooth/examples/rats.txt \
    ./usr/share/doc/propsmooth/examples/units.txt \
    ./usr/share/doc/propsmooth/examples/bad.txt; do
  grep -q " $path\$" "$work/contents.txt" || { cat "$work/contents.txt"; fail "$path not in the package"; }
done

root=$work/root
dpkg-deb -x "$deb" "$root"

# The Python package, for the one minor version of Python it is built for.
check_python_package "$root/usr/lib/python3/dist-packages" \
  "$root/usr/share/doc/propsmooth/examples/rats.txt"
if [ -n "${PROPSMOOTH_PYTHON_VERSION:-}" ]; then
  next=${PROPSMOOTH_PYTHON_VERSION%.*}.$((${PROPSMOOTH_PYTHON_VERSION#*.} + 1))
  for needed in "python3 (>= $PROPSMOOTH_PYTHON_VERSION)" "python3 (<< $next)" python3-numpy; do
    case ", $depends," in
      *", $needed,"*) ;;
      *) fail "Depends does not name $needed: $depends" ;;
    esac
  done
fi

# gzip -9n: the header's flags (byte 3) name no file, its time stamp
# (bytes 4-7) is 0 and its extra flags (byte 8) say "best compression",
# so that the package is reproducible; the content is the source page.
check_gzip() { # check_gzip FILE.gz SOURCE
  header=$(od -An -tu1 -j3 -N6 "$1" | tr -s ' ' | sed 's/^ //')
  [ "$header" = "0 0 0 0 0 2" ] ||
    fail "${1#"$root"}: gzip header bytes 3-8 are '$header', not those of gzip -9n"
  gzip -dc "$1" | cmp -s - "$2" || fail "${1#"$root"} is not $2 compressed"
}
check_gzip "$root/usr/share/man/man1/propsmooth.1.gz" "$source/doc/propsmooth.1"
# The changelog's latest entry is this version's.
check_gzip "$root/$doc/changelog.gz" "$source/packaging/debian/changelog"
latest=$(gzip -dc "$root/$doc/changelog.gz" | head -n 1)
case $latest in
  "propsmooth ($version) "*) ;;
  *) fail "the changelog's latest entry is '$latest', not version $version" ;;
esac
# Debian's machine-readable copyright file, whose license text is LICENSE's.
copyright=$root/$doc/copyright
[ "$(head -n 1 "$copyright")" = \
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "copyright is not in the machine-readable format"
grep -qx "Copyright: $(sed -n 's/^Copyright (c) //p' "$source/LICENSE")" "$copyright" ||
  fail "copyright does not name LICENSE's copyright holder"
# The text follows the second "License: Expat", the stand-alone paragraph,
# every line indented by one space and an empty one written as " .".
awk '/^License: Expat$/ { n++; next } n == 2' "$copyright" >"$work/license-field.txt"
! grep -qv '^ [^ ]' "$work/license-field.txt" ||
  fail "copyright: a license line that is empty or not indented by one space"
sed 's/^ //; s/^\.$//' "$work/license-field.txt" >"$work/license.txt"
sed -n '/^Permission/,$p' "$source/LICENSE" | cmp -s - "$work/license.txt" ||
  fail "the license text in copyright differs from LICENSE"
examples=$root/usr/share/doc/propsmooth/examples
same_as_built "$root/usr/bin/propsmooth" "$built" "rats.tsv rats.log" "$examples/rats.txt" rats.tsv
if [ -z "$built_report" ]; then
  ! grep -q propsmooth-report "$work/contents.txt" ||
    fail "propsmooth-report is not built but is in the package"
  echo "unpacked into a scratch root and ran usr/bin/propsmooth"
  exit 0
fi
for path in ./usr/bin/propsmooth-report ./usr/share/man/man1/propsmooth-report.1.gz; do
  grep -q " $path\$" "$work/contents.txt" || { cat "$work/contents.txt"; fail "$path not in the package"; }
done
check_gzip "$root/usr/share/man/man1/propsmooth-report.1.gz" "$source/doc/propsmooth-report.1"
same_as_built "$root/usr/bin/propsmooth-report" "$built_report" "rats.html rats-ci.tsv" \
  "$examples/rats.txt" rats.html --tsv rats-ci.tsv
# The GIS module, when built: packaged where the program looks for it, its
# libraries (GDAL's) in Depends, and loaded by the unpacked program, which
# then says what GDAL says of a missing file, not that it has no module.
built_module=$(dirname "$built_report")/propsmooth-gis.so
if [ -e "$built_module" ]; then
  module=$(sed -n 's|.* \./\(usr/lib.*/propsmooth/propsmooth-gis\.so\)$|\1|p' "$work/contents.txt")
  [ -n "$module" ] || { cat "$work/contents.txt"; fail "the GIS module is not in the package"; }
  if command -v objdump >/dev/null 2>&1; then check_depends "$built_module"; fi
  for program in "$root/usr/bin/propsmooth-report" "$built_report"; do
    "$program" -q "$examples/rats.txt" --csv "$work/gis.csv" --regions "$work/none.shp" \
      --regions-id ID 2>"$work/gis-error.txt" && fail "a missing regions file was read"
    grep -q "cannot read regions from $work/none.shp: $work/none.shp" "$work/gis-error.txt" ||
      fail "$program: $(cat "$work/gis-error.txt")"
  done
  echo "usr/bin/propsmooth-report loaded its GIS module $module"
fi
echo "unpacked into a scratch root and ran usr/bin/propsmooth and usr/bin/propsmooth-report"
