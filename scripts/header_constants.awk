# Reads the installed headers' text, preprocessed (macros expanded, no
# comments or directives), and prints the qualified name of every constant
# it defines: each enumerator, and each constexpr or const variable with an
# initializer (each declarator of a declaration, an array too) at namespace
# scope, within extern "C" or "C++", or a static one at class scope. A
# template's are not (their values depend on its arguments), nor a class's
# non-static const members (each object's own). Attributes ([[...]],
# __attribute__) and alignas are passed over, a raw text is read to its own
# end. Used by scripts/abi.sh, which compiles a program that prints their
# values.
function flush() { n = 0; init = 0 }
function scope_name(i, s) {
  s = ""
  for (i = 1; i <= depth; i++) if (name[i] != "") s = s name[i] "::"
  return s
}
# The declarator d[1..m] (its declaration's specifiers first) is a
# variable with an initializer at `at` (the "=" or "{"): its name, if it
# is a constant.
function variable(d, m, at, i, is_const, constexpr, is_static, nm) {
  if (at < 2 || at > m || d[1] == "template" || d[1] == "using" || d[1] == "typedef" || d[1] == "friend") return ""
  # constexpr anywhere; const on the variable itself (after its last "*").
  is_const = 0
  constexpr = 0
  is_static = 0
  nm = ""
  for (i = 1; i < at; i++) {
    if (d[i] == "(" || d[i] == "operator") return ""
    # An array: its name stands before its bounds.
    if (d[i] == "[") break
    if (d[i] == "constexpr") constexpr = 1
    if (d[i] == "static") is_static = 1
    if (d[i] == "const") is_const = 1
    if (d[i] == "*" || d[i] == "&") is_const = 0
    nm = d[i]
  }
  if (!(is_const || constexpr) || nm !~ /^[A-Za-z_][A-Za-z0-9_]*$/) return ""
  if (kind[depth] == "class" && !is_static && !constexpr) return ""
  return nm
}
# The statement tok[1..n] ends: each of its declarators that is a
# constant, with the specifiers of the first before it (up to its first
# "*" or "&", which belong to the first declarator).
function declaration(i, j, m, k, nest, at, specifiers, d, v) {
  specifiers = -1
  m = 0
  nest = 0
  at = 0
  for (i = 1; i <= n + 1; i++) {
    if (i > n || (tok[i] == "," && nest == 0)) {
      if (specifiers < 0) {
        # The first declarator's name: the last word before its
        # initializer or bounds; the specifiers are what stands before it.
        k = 0
        for (j = 1; j <= m && d[j] != "=" && d[j] != "{" && d[j] != "["; j++) if (d[j] ~ /^[A-Za-z_]/) k = j
        specifiers = k > 0 ? k - 1 : 0
        for (j = 1; j < k; j++) if (d[j] == "*" || d[j] == "&") { specifiers = j - 1; break }
        for (j = 1; j <= specifiers; j++) spec[j] = d[j]
      }
      if (at && (v = variable(d, m, at)) != "") print scope_name() v
      m = specifiers
      for (j = 1; j <= m; j++) d[j] = spec[j]
      at = 0
      continue
    }
    d[++m] = tok[i]
    if (nest == 0 && !at && (tok[i] == "=" || tok[i] == "{")) at = m
    if (tok[i] == "(" || tok[i] == "[" || tok[i] == "{") nest++
    else if (tok[i] == ")" || tok[i] == "]" || tok[i] == "}") nest--
  }
}
# Whether a brace that follows the statement so far opens an initializer:
# the statement holds "=" outside parentheses, or a name ends it that no
# class, enum, namespace, template or function goes with.
function initializer(i, nest) {
  nest = 0
  for (i = 1; i <= n; i++) {
    if (tok[i] == "(" || tok[i] == "[") nest++
    else if (tok[i] == ")" || tok[i] == "]") nest--
    else if (tok[i] == "=" && nest == 0) return 1
  }
  if (n == 0 || tok[n] !~ /^[A-Za-z_]/) return 0
  for (i = 1; i <= n; i++) if (tok[i] ~ /^(\(|class|struct|union|enum|namespace|template)$/) return 0
  return 1
}
function open_scope(i, k, nm, kw) {
  k = "block"; nm = ""
  for (i = 1; i <= n; i++) if (tok[i] == "enum") break
  if (tok[1] == "template") {
    # A template's members are no constants of their own.
  } else if (i <= n && kind[depth] != "block") {
    k = "enum"; scoped[depth + 1] = 0
    # (Within this statement: tok holds the earlier ones' words beyond n.)
    if (i < n && (tok[i + 1] == "class" || tok[i + 1] == "struct")) { scoped[depth + 1] = 1; i++ }
    if (i < n && tok[i + 1] ~ /^[A-Za-z_]/) nm = tok[i + 1]
    if (!scoped[depth + 1]) nm = ""
    element = 1
  } else if (kind[depth] != "block" && kind[depth] != "enum") {
    if (tok[1] == "namespace" || (tok[1] == "inline" && tok[2] == "namespace")) {
      # namespace a::b: every name after the keyword (an inline one's too).
      k = "namespace"
      for (i = 1; i <= n && tok[i] != "namespace"; i++) {}
      for (i++; i <= n; i++) if (tok[i] != "inline") nm = nm tok[i]
    } else if (n == 2 && tok[1] == "extern" && tok[2] ~ /^"/) {
      # extern "C" { ... }: its names are those of the scope around it.
      k = "namespace"
    } else {
      for (i = 1; i <= n; i++) if (tok[i] == "(") break
      if (i > n) for (i = n; i >= 1; i--) if ((tok[i] == "class" || tok[i] == "struct" || tok[i] == "union") && (i == n || tok[i + 1] ~ /^[A-Za-z_]/)) {
        k = "class"; nm = ""
        # class EXPORTED Name: the name is the last word before ":" or final
        # (none: an anonymous one)
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
  # Attributes (the export macro's) and alignment say nothing here.
  if (t == "__attribute__" || t == "alignas") { attr = 1; attr_parens = 0; return }
  if (attr) {
    if (t == "(") attr_parens++
    else if (t == ")" && --attr_parens == 0) attr = 0
    return
  }
  # An enumerator: a name after the enum's brace or a "," outside
  # brackets, which "=", "," or the closing brace follows (not a name
  # within a template's arguments: is_same<int, long>).
  if (kind[depth] == "enum") {
    if (enumerator != "" && (t == "=" || t == ",")) print enumerator
    enumerator = ""
    if (t ~ /^[([{]$/) parens[depth]++
    else if (t ~ /^[)\]}]$/) parens[depth]--
    else if (t == "," && parens[depth] == 0) { element = 1; return }
    else if (element && t ~ /^[A-Za-z_]/) enumerator = scope_name() t
    element = 0
    return
  }
  # Within an initializer's braces the statement goes on.
  if (init) {
    tok[++n] = t
    if (t == "{") init++
    else if (t == "}") init--
    return
  }
  if (t == "{") {
    if (kind[depth] != "block" && initializer()) {
      tok[++n] = t
      init = 1
      return
    }
    open_scope()
    return
  }
  if (t == "}") { depth--; flush(); return }
  if (kind[depth] == "block") return
  if (t == ";") {
    declaration()
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
    # An attribute, [[...]], says nothing here.
    if (substr(text, p, 2) == "[[") {
      b = 0
      for (q = p; q <= len; q++) {
        c = substr(text, q, 1)
        if (c == "[") b++
        else if (c == "]" && --b == 0) break
        else if (c == "\"" || c == "'") for (q++; q <= len && substr(text, q, 1) != c; q++) if (substr(text, q, 1) == "\\") q++
      }
      p = q + 1; continue
    }
    # A raw text, R"DELIM(...)DELIM", to its own end (it may hold quotes).
    if (match(substr(text, p, 24), /^(u8|[uUL])?R"[^ ()\\]*\(/)) {
      ropen = substr(text, p, RLENGTH)
      rclose = ")" substr(ropen, index(ropen, "\"") + 1, length(ropen) - index(ropen, "\"") - 1) "\""
      q = index(substr(text, p + RLENGTH), rclose)
      q = q ? p + RLENGTH + q - 1 + length(rclose) : len + 1
      token(substr(text, p, q - p)); p = q; continue
    }
    if (c == "\"" || c == "'") {
      for (q = p + 1; q <= len && substr(text, q, 1) != c; q++) if (substr(text, q, 1) == "\\") q++
      token(substr(text, p, q - p + 1)); p = q + 1; continue
    }
    if (match(substr(text, p, 256), /^[A-Za-z_][A-Za-z0-9_]*/) || match(substr(text, p, 64), /^[0-9][0-9A-Za-z_.']*/) || match(substr(text, p, 2), /^::/)) {
      token(substr(text, p, RLENGTH)); p += RLENGTH; continue
    }
    if (c == "}" && kind[depth] == "enum" && parens[depth] == 0) {
      if (enumerator != "") print enumerator
      enumerator = ""
      depth--; flush(); p++; continue
    }
    token(c); p++
  }
}
