.onLoad <- function(libname, pkgname) {
  # PROPSMOOTH_SIMD caps the kernel's instruction set as it does the
  # programs'; a value they refuse stops the loading with their words.
  .cap_simd()
}
