
check <- function(prefix, program, K) {
  q <- read.delim(paste0(prefix, "Q.txt"), na.strings = character())
  stopifnot(identical(names(q), c("id", paste0("cluster", 1:K))), nrow(q) == 130,
            identical(q$id[1:3], c("O'Brien", "site#2", "s003")),
            all(abs(rowSums(q[, -1]) - 1) < 1e-6))
  p <- read.delim(paste0(prefix, "P.txt"))
  stopifnot(identical(names(p), c("cluster", "locus", "allele", "frequency")),
            all(abs(tapply(p$frequency, list(p$cluster, p$locus), sum) - 1) < 1e-6))
  r <- read.delim(paste0(prefix, "run.txt"))
  stopifnot(nrow(r) == 1, r$program == program, is.numeric(r$seed), r$seed == 12345,
            r$input_size_bytes > 0, grepl(" -K", r$command_line))
  r$command_line
}
cat(check("sim2pop.txt_RUNR R_", "brelo", 2), "\n")
cat(check("sim2pop.txt_RUNA_", "breloAdm", 3), "\n")
cat("R read the tables\n")
