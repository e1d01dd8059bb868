# Reads a description of abidw (one element a line) and prints the
# qualified name of each class, struct and union it defines (not of those
# it only declares), without template arguments: Outer::Inner, as
# scripts/symbol_owner.awk names a symbol's class. Used by scripts/abi.sh.

# s without its <...> groups.
function flat(s, i, c, d, out) {
  d = 0
  out = ""
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (c == "<") d++
    else if (c == ">" && d > 0) d--
    else if (d == 0) out = out c
  }
  return out
}

match($0, /<(namespace-decl|class-decl|union-decl) /) {
  tag = substr($0, RSTART + 1, RLENGTH - 2)
  name = ""
  if (match($0, / name='[^']*'/)) name = substr($0, RSTART + 7, RLENGTH - 8)
  gsub(/&lt;/, "<", name)
  gsub(/&gt;/, ">", name)
  gsub(/&amp;/, "\\&", name)
  name = flat(name)
  scope = ""
  for (i = 1; i <= depth; i++) scope = scope names[i] "::"
  if (tag != "namespace-decl" && $0 !~ /is-declaration-only='yes'/) print scope name
  if ($0 !~ /\/>[[:space:]]*$/) names[++depth] = name
  next
}
/<\/(namespace-decl|class-decl|union-decl)>/ { if (depth > 0) depth-- }
