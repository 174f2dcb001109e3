#!/bin/sh
# Usage: run.sh SOURCE_DIR WORK_DIR. Builds the R package from SOURCE_DIR,
# installs it into WORK_DIR/lib and runs its testthat tests there, with
# the programs CTest names in the environment.
set -eu
source_dir=$1
work=$2
tarball=$("$source_dir/scripts/r-package" "$work/r-package" 2>"$work/r-build.log" | tail -n 1) || {
  cat "$work/r-build.log" >&2
  exit 1
}
rm -rf "$work/lib"
mkdir -p "$work/lib"
R CMD INSTALL --no-test-load -l "$work/lib" "$tarball" >"$work/r-install.log" 2>&1 || {
  tail -n 40 "$work/r-install.log" >&2
  exit 1
}
cd "$source_dir/r/tests/testthat"
exec Rscript -e "library(propsmooth, lib.loc = '$work/lib')" \
  -e "testthat::test_dir('.', load_package = 'none', stop_on_failure = TRUE, reporter = 'summary')"
