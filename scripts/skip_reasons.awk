# From a GoogleTest program's output: each test that was skipped, with the
# reason it gave ("<test>\t<reason>" a line; the reason is the message
# below GoogleTest's "Skipped" line, its lines joined).
/^\[ RUN      \] / { test = $4; reason = ""; inside = 0; next }
/: Skipped$/ { inside = 1; next }
/^\[  SKIPPED \] .* \([0-9]+ ms\)$/ {
  sub(/^ +/, "", reason)
  print $4 "\t" (reason != "" ? reason : "(no reason given)")
  inside = 0; reason = ""; next
}
/^\[/ { inside = 0; next }
inside && NF { reason = reason " " $0 }
