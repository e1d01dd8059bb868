# Reads clang's syntax tree of zpi50.h (-Xclang -ast-dump=json) and prints,
# of the declarations in the headers under $dir, one line each (tab between):
#   needed  MANGLED      a function or variable that a library must define:
#                        not inline, not defined in the header, not pure,
#                        deleted, defaulted or implicit, not a template
#   bitfield SCOPE::NAME WIDTH   a bit-field member and its width in bits
#   record  SCOPE::NAME  a class, struct or union defined there (named, not
#                        a template)
#   field   SCOPE::NAME  a data member of such a class that a pointer to a
#                        member can name: not static, not a bit-field, not
#                        a reference (a member of an anonymous union or
#                        struct by its own name, as the class's)
#   typedef SCOPE::NAME  a typedef or alias declaration (not a template)
# Used by scripts/abi.sh. The dump names a location's file only when it
# differs from the last location written, so the file of each top-level
# declaration is followed through the dump in its order.

# The files of the locations under a node, in the order the dump wrote them
# (an "includedFrom" names no location of its own).
def files:
  if type == "object" then
    (.file | strings), (to_entries[] | select(.key != "includedFrom" and .key != "file") | .value | files)
  elif type == "array" then .[] | files
  else empty end;

def needed:
  ((.kind | IN("FunctionDecl", "CXXMethodDecl", "CXXConstructorDecl", "CXXDestructorDecl"))
    and (.isImplicit or .inline or .pure or .explicitlyDeleted or .explicitlyDefaulted | not)
    and ([.inner[]? | select(.kind == "CompoundStmt")] | length == 0))
  or (.kind == "VarDecl" and (.storageClass | IN("extern", "static"))
    and (.constexpr or .inline or .init | not));

# The declarations under a node with their scope (the names of the classes
# and namespaces around them).
def members($scope):
  if .kind == "CXXRecordDecl" and (.isImplicit | not) then
    {decl: ., scope: $scope},
    (.name as $name | .inner[]? | members($scope + [$name // "(anonymous)"]))
  elif .kind == "NamespaceDecl" then .name as $name | .inner[]? | members($scope + [$name // "(anonymous)"])
  elif .kind == "LinkageSpecDecl" then .inner[]? | members($scope)
  else {decl: ., scope: $scope} end;

reduce .inner[] as $d ({file: null, out: []};
  (($d.loc | .file // .spellingLoc.file // .expansionLoc.file) // .file) as $here
  | .out += if ($here // "") | startswith($dir) then
      [$d | members([]) | .scope as $scope | .decl
       | if needed and .mangledName then "needed\t\(.mangledName)"
         elif .kind == "FieldDecl" and .isBitfield then
           "bitfield\t\($scope + [.name // "(anonymous)"] | join("::"))\t\(.inner[0].value)"
         elif .kind == "CXXRecordDecl" and .completeDefinition and (.name // "") != ""
             and ($scope | index("(anonymous)") | not) then
           "record\t\($scope + [.name] | join("::"))"
         elif (.kind == "FieldDecl" and (.isBitfield | not) and ((.type.qualType // "") | test("&$") | not)
               or .kind == "IndirectFieldDecl")
             and (.name // "") != "" and ($scope | length > 0) and ($scope | index("(anonymous)") | not) then
           "field\t\($scope + [.name] | join("::"))"
         elif .kind | IN("TypedefDecl", "TypeAliasDecl") then
           "typedef\t\($scope + [.name] | join("::"))"
         else empty end]
    else [] end
  | .file = ([$d | files] | last // $here))
| .out[]
