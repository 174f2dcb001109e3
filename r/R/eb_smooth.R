# The columns eb_smooth adds, those of propsmooth-report --csv beyond the
# input's own; the last four only with a threshold.
.estimate_columns <- c("raw", "eb_me", "eb", "lower", "upper", "prior")
.threshold_columns <- c("p_exceed", "pep", "q_value", "discovery")

# The column an argument names: a string, or an unquoted name as in
# dplyr's verbs. A name that is no column of `data` is evaluated where the
# call was made, so that a variable holding a column's name works too.
.column_name <- function(expr, data, env, argument, optional = FALSE) {
  if (is.null(expr)) {
    if (optional) return(NULL)
    stop(sprintf("%s must name a column of data", argument), call. = FALSE)
  }
  name <- if (is.symbol(expr) && deparse1(expr) %in% names(data)) {
    deparse1(expr)
  } else {
    if (is.symbol(expr) && !exists(deparse1(expr), envir = env)) {
      stop(sprintf("%s = %s is no column of data, nor a variable holding a column's name; its columns are %s",
                   argument, deparse1(expr), paste0("\"", names(data), "\"", collapse = ", ")),
           call. = FALSE)
    }
    value <- eval(expr, env)
    if (is.null(value) && optional) return(NULL)
    if (!is.character(value) || length(value) != 1L || is.na(value)) {
      stop(sprintf("%s must be a column name, as a string or unquoted, not %s", argument,
                   deparse1(expr)), call. = FALSE)
    }
    value
  }
  found <- sum(names(data) == name)
  if (found == 0L) {
    stop(sprintf("%s = \"%s\" is no column of data; its columns are %s", argument, name,
                 paste0("\"", names(data), "\"", collapse = ", ")), call. = FALSE)
  }
  if (found > 1L) {
    stop(sprintf("%s = \"%s\" names %d columns of data; rename all but one", argument, name,
                 found), call. = FALSE)
  }
  name
}

# Group codes from 0, in the order the groups first appear, as
# propsmooth-report numbers them; a missing group (NA, or the text "" or
# "NA" with blanks around it) is refused, naming its row.
.group_codes <- function(values, name, labels) {
  text <- if (is.factor(values)) as.character(values) else values
  missing <- is.na(text)
  if (is.character(text)) missing <- missing | trimws(text, whitespace = "[ \t]") %in% c("", "NA")
  if (any(missing)) {
    .refuse(name, as.character(values), labels, which(missing)[[1]],
            "is missing; every row needs a group (fill it in or leave the row out)")
  }
  match(text, unique(text)) - 1L
}

eb_smooth <- function(data, x, n = NULL, group = NULL, id = NULL, threshold = NULL,
                      level = 0.95, fdr = 0.05, alpha = NULL, beta = NULL, eps = 1e-5,
                      max_iter = 20L, threads = NULL, expected = NULL, exposure = NULL,
                      per = 1) {
  if (!is.data.frame(data)) {
    stop(sprintf("data must be a data frame (or a tibble), not %s", class(data)[[1]]),
         call. = FALSE)
  }
  env <- parent.frame()
  x_name <- .column_name(substitute(x), data, env, "x")
  # Exactly one of the sizes of proportions, the expected counts or the
  # exposures of rates.
  size_name <- .column_name(substitute(n), data, env, "n", optional = TRUE)
  expected_name <- .column_name(substitute(expected), data, env, "expected", optional = TRUE)
  exposure_name <- .column_name(substitute(exposure), data, env, "exposure", optional = TRUE)
  given <- c(n = !is.null(size_name), expected = !is.null(expected_name),
             exposure = !is.null(exposure_name))
  if (sum(given) != 1L) {
    stop(sprintf("give exactly one of n (sizes, for proportions), expected (expected counts) and exposure (person-time, for rates)%s",
                 if (any(given)) paste0(", not ", paste(names(given)[given], collapse = " and "))
                 else ""), call. = FALSE)
  }
  rates <- !given[["n"]]
  if (!rates && !missing(per)) {
    stop("per is for rates: give expected or exposure with it, or leave it out for proportions",
         call. = FALSE)
  }
  group_name <- .column_name(substitute(group), data, env, "group", optional = TRUE)
  id_name <- .column_name(substitute(id), data, env, "id", optional = TRUE)
  level <- .probability(level, "level")
  fdr <- .probability(fdr, "fdr")
  if (rates) {
    per <- .positive(per, "per")
    # The threshold as per shows rates; with expected counts a rate of 1,
    # the reference, unless given.
    threshold <- if (!is.null(threshold)) {
      .positive(threshold, "threshold", "one rate above 0 (as per shows rates)") / per
    } else if (given[["expected"]]) 1 else NA_real_
  } else {
    threshold <- if (is.null(threshold)) NA_real_ else .probability(threshold, "threshold")
  }
  options <- .fit_options(alpha, beta, eps, max_iter)
  added <- c(.estimate_columns, if (!is.na(threshold)) .threshold_columns)
  taken <- intersect(added, names(data))
  if (length(taken)) {
    stop(sprintf("data already has the column%s %s, which eb_smooth adds; rename %s",
                 if (length(taken) > 1L) "s" else "", paste0("\"", taken, "\"", collapse = ", "),
                 if (length(taken) > 1L) "them" else "it"), call. = FALSE)
  }
  # Row names where the frame has its own, else positions.
  labels <- if (.row_names_info(data) > 0L) rownames(data) else NULL
  if (rates) {
    against <- if (given[["expected"]]) expected_name else exposure_name
    records <- .rate_records(data[[x_name]], data[[against]], labels, x_name, against,
                             exposure = given[["exposure"]])
  } else {
    records <- .records(data[[x_name]], data[[size_name]], labels, x_name, size_name)
  }
  units <- if (is.null(group_name)) integer() else
    .group_codes(data[[group_name]], group_name, labels)
  figures <- if (rates) {
    .smooth_rates(records$x, records$expected, units, level, threshold, fdr, per,
                  options$alpha, options$beta, options$max_iter, .threads(threads))
  } else {
    .smooth(records$x, records$n, units, level, threshold, fdr, options$alpha,
            options$beta, options$eps, options$max_iter, .threads(threads))
  }
  # Assigned column by column: the frame keeps its class (a tibble stays
  # one), its row names and its columns as they are.
  for (column in added) data[[column]] <- figures[[column]]
  data
}
