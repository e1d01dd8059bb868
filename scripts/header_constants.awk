# Reads the installed headers' text, preprocessed (macros expanded, no
# comments or directives), and prints the qualified name of every constant
# it defines: each enumerator, and each constexpr or const variable with an
# initializer at namespace or class scope. Used by scripts/abi.sh, which
# compiles a program that prints their values.
function flush() { n = 0 }
function scope_name(i, s) {
  s = ""
  for (i = 1; i <= depth; i++) if (name[i] != "") s = s name[i] "::"
  return s
}
# The statement of the current scope, tokens 1..n, is a variable with an
# initializer at `at` (the "=" or "{"): its name, if it is a constant.
function variable(at, i, is_const) {
  if (at < 2 || tok[1] == "template" || tok[1] == "using" || tok[1] == "typedef" || tok[1] == "friend") return ""
  # constexpr anywhere; const on the variable itself (after its last "*").
  is_const = 0
  constexpr = 0
  for (i = 1; i < at; i++) {
    if (tok[i] == "(" || tok[i] == "[" || tok[i] == "operator") return ""
    if (tok[i] == "constexpr") constexpr = 1
    if (tok[i] == "const") is_const = 1
    if (tok[i] == "*" || tok[i] == "&") is_const = 0
  }
  is_const = is_const || constexpr
  if (!is_const || tok[at - 1] !~ /^[A-Za-z_][A-Za-z0-9_]*$/) return ""
  return tok[at - 1]
}
function open_scope(i, k, nm, kw) {
  k = "block"; nm = ""
  for (i = 1; i <= n; i++) if (tok[i] == "enum") break
  if (i <= n && kind[depth] != "block") {
    k = "enum"; scoped[depth + 1] = 0
    if (tok[i + 1] == "class" || tok[i + 1] == "struct") { scoped[depth + 1] = 1; i++ }
    if (tok[i + 1] ~ /^[A-Za-z_]/) nm = tok[i + 1]
    if (!scoped[depth + 1]) nm = ""
    element = 1
  } else if (kind[depth] != "block" && kind[depth] != "enum") {
    if (tok[1] == "namespace" || (tok[1] == "inline" && tok[2] == "namespace")) {
      k = "namespace"
      nm = tok[n] == "namespace" ? "" : tok[n]
    } else if ((v = variable(n + 1)) != "") {
      print scope_name() v
    } else {
      for (i = 1; i <= n; i++) if (tok[i] == "(") break
      if (i > n) for (i = n; i >= 1; i--) if ((tok[i] == "class" || tok[i] == "struct" || tok[i] == "union") && tok[i + 1] ~ /^[A-Za-z_]/) {
        k = "class"; nm = tok[i + 1]
        # class EXPORTED Name: the name is the last word before ":" or final
        for (j = i + 1; j <= n && tok[j] != ":" && tok[j] != "final"; j++) if (tok[j] ~ /^[A-Za-z_]/ && tok[j] !~ /^__attribute__$/) nm = tok[j]
        break
      }
    }
  }
  depth++
  kind[depth] = k; name[depth] = nm; parens[depth] = 0
  flush()
}
function token(t, v) {
  # Attributes (the export macro's) say nothing here.
  if (t == "__attribute__") { attr = 1; attr_parens = 0; return }
  if (attr) {
    if (t == "(") attr_parens++
    else if (t == ")" && --attr_parens == 0) attr = 0
    return
  }
  if (kind[depth] == "enum") {
    if (t == "(" ) parens[depth]++
    else if (t == ")") parens[depth]--
    else if (t == "," && parens[depth] == 0) element = 1
    else if (element && t ~ /^[A-Za-z_]/) { print scope_name() t; element = 0 }
    else element = 0
    return
  }
  if (t == "{") { open_scope(); return }
  if (t == "}") { depth--; flush(); return }
  if (kind[depth] == "block") return
  if (t == ";") {
    for (i = 1; i <= n; i++) if (tok[i] == "=") break
    if (i <= n && (v = variable(i)) != "") print scope_name() v
    flush()
    return
  }
  if (t == ":" && n == 1 && (tok[1] == "public" || tok[1] == "private" || tok[1] == "protected")) { flush(); return }
  tok[++n] = t
}
BEGIN { depth = 0; kind[0] = "namespace"; name[0] = ""; n = 0 }
{ text = text $0 "\n" }
END {
  len = length(text)
  for (p = 1; p <= len; ) {
    c = substr(text, p, 1)
    if (c ~ /[ \t\n]/) { p++; continue }
    if (c == "\"" || c == "'") {
      for (q = p + 1; q <= len && substr(text, q, 1) != c; q++) if (substr(text, q, 1) == "\\") q++
      token(substr(text, p, q - p + 1)); p = q + 1; continue
    }
    if (match(substr(text, p, 256), /^[A-Za-z_][A-Za-z0-9_]*/) || match(substr(text, p, 64), /^[0-9][0-9A-Za-z_.']*/) || match(substr(text, p, 2), /^::/)) {
      token(substr(text, p, RLENGTH)); p += RLENGTH; continue
    }
    if (c == "}" && kind[depth] == "enum") { depth--; flush(); p++; continue }
    token(c); p++
  }
}
