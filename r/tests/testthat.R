library(testthat)
library(propsmooth)

test_check("propsmooth")
