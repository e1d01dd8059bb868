# Reads "mangled<TAB>demangled" symbol names (nm -D, then c++filt) and
# prints "mangled<TAB>kind<TAB>owner": the class (kind "class", qualified:
# Outer::Inner) whose member, virtual table, VTT or type information the
# symbol is, or the free function or variable (kind "function") it is. Template arguments, parameters and
# ABI tags ([abi:cxx11]) are not part of an owner, so an owner compares
# with the name a header declares. Used by scripts/abi.sh.
BEGIN { FS = "\t" }

# s without its <...> and (...) groups.
function flat(s, i, c, d, out) {
  d = 0
  out = ""
  for (i = 1; i <= length(s); i++) {
    c = substr(s, i, 1)
    if (c == "<" || c == "(") d++
    else if ((c == ">" || c == ")") && d > 0) d--
    else if (d == 0) out = out c
  }
  return out
}

{
  name = $2
  gsub(/\[abi:[^]]*\]/, "", name)
  kind = "function"
  if (sub(/^construction vtable for /, "", name)) {
    sub(/-in-.*/, "", name)
    kind = "class"
  } else if (sub(/^(vtable|typeinfo name|typeinfo|VTT) for /, "", name)) {
    kind = "class"
  }
  sub(/^guard variable for /, "", name)
  while (sub(/^((non-)?virtual|covariant return) thunk to /, "", name)) {}
  # An operator's own characters would read as brackets: set it aside.
  op = ""
  if (kind == "function" && match(name, /(^|::| )operator/)) {
    at = RSTART + RLENGTH
    rest = substr(name, at)
    if (match(rest, /^ (new|delete)(\[\])?|^ [^(]+|^(\(\)|\[\]|<<=|>>=|<=>|->\*|->|<<|>>|<=|>=|==|!=|&&|\|\||\+\+|--|[-+*\/%^&|~!=<>,]=?)/)) {
      op = "operator" substr(rest, 1, RLENGTH)
      name = substr(name, 1, at - 9) "@" substr(rest, RLENGTH + 1)
    }
  }
  # The parameters (and a local name: f()::x) go: from the first "(" that
  # no template argument holds.
  d = 0
  for (i = 1; i <= length(name); i++) {
    c = substr(name, i, 1)
    if (c == "<") d++
    else if (c == ">" && d > 0) d--
    else if (c == "(" && d == 0 && kind == "function") { name = substr(name, 1, i - 1); break }
  }
  name = flat(name)
  # A template function's return type: the words before the name.
  if (kind == "function") sub(/.* /, "", name)
  # A member's class: all before the last "::" (a nested class keeps its
  # enclosing class's name).
  if (kind == "function" && match(name, /.*::/)) {
    name = substr(name, 1, RLENGTH - 2)
    kind = "class"
  }
  if (name == "@") name = op
  print $1 "\t" kind "\t" name
}
