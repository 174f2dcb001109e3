# Sourced by the install and package checks, after they define $work and
# fail().
#
# same_as_built INSTALLED BUILT "OUTPUTS" ARGS... runs the installed program
# and the build folder's in $work/installed and $work/built with ARGS; both
# must end with status 0 and write the same OUTPUTS and console.
same_as_built() {
  installed=$1 built_program=$2 outputs=$3
  shift 3
  mkdir -p "$work/installed" "$work/built"
  (cd "$work/installed" && "$installed" "$@" >console.txt) ||
    fail "the installed $(basename "$installed") ended with status $?"
  (cd "$work/built" && "$built_program" "$@" >console.txt) ||
    fail "the built $(basename "$built_program") ended with status $?"
  for file in $outputs console.txt; do
    cmp "$work/installed/$file" "$work/built/$file" || fail "installed and built $file differ"
  done
}

# check_python_package SITE DATA checks that SITE/propsmooth holds the
# package as the build folder has it and that the interpreter imports it
# from there and fits DATA (rats.txt) as the built module does. Without
# PROPSMOOTH_PYTHON_MODULE (the module is not built) it checks that nothing
# was installed there.
check_python_package() {
  site=$1
  if [ -z "${PROPSMOOTH_PYTHON_MODULE:-}" ]; then
    [ ! -e "$site/propsmooth" ] || fail "the Python module is not built but $site/propsmooth exists"
    return 0
  fi
  built_package=$(dirname "$PROPSMOOTH_PYTHON_MODULE")
  for file in "$built_package"/*.py; do
    cmp -s "$file" "$site/propsmooth/$(basename "$file")" ||
      fail "$site/propsmooth/$(basename "$file") is missing or differs from the build's"
  done
  # The package's copy may be stripped: the fit below shows it works.
  [ -f "$site/propsmooth/$(basename "$PROPSMOOTH_PYTHON_MODULE")" ] ||
    fail "no $(basename "$PROPSMOOTH_PYTHON_MODULE") in $site/propsmooth"
  fit='import sys, numpy, propsmooth
data = numpy.loadtxt(sys.argv[1], dtype=numpy.int64)
print(propsmooth.__file__)
print(propsmooth.fit(data[:, 2], data[:, 3], safeguarded=True))'
  installed_fit=$(cd / && PYTHONPATH=$site "$PROPSMOOTH_PYTHON3" -B -c "$fit" "$2") ||
    fail "$PROPSMOOTH_PYTHON3 cannot import the package from $site"
  built_fit=$(cd / && PYTHONPATH=$(dirname "$built_package") "$PROPSMOOTH_PYTHON3" -B -c "$fit" "$2")
  case $installed_fit in
    "$site/propsmooth/__init__.py"*) ;;
    *) fail "the package was imported from elsewhere: $installed_fit" ;;
  esac
  [ "$(echo "$installed_fit" | tail -n 1)" = "$(echo "$built_fit" | tail -n 1)" ] ||
    fail "the installed and the built module fit the rats differently"
  echo "imported propsmooth from $site"
}
