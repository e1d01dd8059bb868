// Makes the API reference (docs/api.md) from its template (docs/api.md.in)
// and the operation tables of api/kpi_ops.h:
//
//     api_reference docs/api.md.in > docs/api.md
//     api_reference docs/api.md.in --check docs/api.md
//
// The template is Markdown with directives, each alone on its line:
//   @interface NAME@  the section of interface NAME: its line, its parent
//                     and every operation with its signature and its text;
//                     every interface must be placed exactly once;
//   @lists@           the list classes with their element interfaces;
//   @enum NAME@       the constants of enumeration NAME with their values,
//                     read from its type descriptor.
// It fails (exit 1), saying why, when an operation or an interface has no
// text, a directive names something unknown, or with --check when the
// reference differs from what the tables make.
#include "zpi50.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Operation {
    const char* result;
    const char* name;
    const char* params;
    const char* text;
};

struct Interface {
    const char* name;
    const char* parent;
    const char* text = "";
    std::vector<Operation> operations;
};

std::vector<Interface> Interfaces() {
    std::vector<Interface> all;
#define ZPI_REF_OPERATION(Class, Result, Name, Params, Args, Doc)                  \
    all.back().operations.push_back({#Result, #Name, #Params, Doc});
#define ZPI_REF_INTERFACE(Class, Parent)                                           \
    all.push_back({#Class, #Parent, "", {}});                                      \
    ZPI_OPS_##Class(ZPI_REF_OPERATION)
    ZPI_INTERFACES(ZPI_REF_INTERFACE)
#undef ZPI_REF_INTERFACE
#undef ZPI_REF_OPERATION
    std::map<std::string, const char*> texts;
#define ZPI_REF_INTERFACE_TEXT(Class, Doc) texts[#Class] = Doc;
    ZPI_INTERFACE_DOCS(ZPI_REF_INTERFACE_TEXT)
#undef ZPI_REF_INTERFACE_TEXT
    for (Interface& i : all)
        if (auto it = texts.find(i.name); it != texts.end())
            i.text = it->second;
    return all;
}

const std::map<std::string, const xrttienum*>& Enumerations() {
    static const std::map<std::string, const xrttienum*> all = {
        {"KPICurveType", cipGetRtti_KPICurveType()},
        {"KPISurfType", cipGetRtti_KPISurfType()},
        {"KPILoopTraversal", cipGetRtti_KPILoopTraversal()},
        {"KPISurfOrient", cipGetRtti_KPISurfOrient()},
        {"KPIItemType", cipGetRtti_KPIItemType()},
        {"KPIUnitType", cipGetRtti_KPIUnitType()},
        {"KPILengthUnits", cipGetRtti_KPILengthUnits()},
        {"KPIMassUnits", cipGetRtti_KPIMassUnits()},
        {"KPILayerStatus", cipGetRtti_KPILayerStatus()},
        {"KTraversal", cipGetRtti_KTraversal()},
        {"KAccuracyType", cipGetRtti_KAccuracyType()},
    };
    return all;
}

class Maker {
public:
    explicit Maker(std::vector<Interface> interfaces) : interfaces_(std::move(interfaces)) {
        for (const Interface& i : interfaces_) {
            if (!*i.text)
                Fail(std::string("interface ") + i.name + " has no text in ZPI_INTERFACE_DOCS");
            for (const Operation& op : i.operations)
                if (!*op.text)
                    Fail(std::string("operation ") + i.name + "::" + op.name +
                         " has no text in its row of api/kpi_ops.h");
        }
    }

    // The reference made from the template's lines.
    std::string Make(std::istream& in) {
        std::ostringstream out;
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            const std::string where = "template line " + std::to_string(number);
            if (Directive(line, "@interface "))
                WriteInterface(out, Argument(line, "@interface "), where);
            else if (line == "@lists@")
                WriteLists(out);
            else if (Directive(line, "@enum "))
                WriteEnumeration(out, Argument(line, "@enum "), where);
            else if (!line.empty() && line.front() == '@' && line.back() == '@')
                Fail(where + ": unknown directive " + line);
            else
                out << line << '\n';
        }
        for (const Interface& i : interfaces_)
            if (!placed_.count(i.name))
                Fail(std::string("interface ") + i.name + " is placed nowhere in the template");
        return out.str();
    }

    const std::vector<std::string>& Failures() const { return failures_; }

private:
    static bool Directive(const std::string& line, const char* head) {
        return line.rfind(head, 0) == 0 && line.size() > std::string(head).size() &&
               line.back() == '@';
    }
    static std::string Argument(const std::string& line, const char* head) {
        const size_t from = std::string(head).size();
        return line.substr(from, line.size() - from - 1);
    }
    void Fail(const std::string& why) { failures_.push_back(why); }

    void WriteInterface(std::ostream& out, const std::string& name, const std::string& where) {
        const Interface* found = nullptr;
        for (const Interface& i : interfaces_)
            if (name == i.name)
                found = &i;
        if (!found)
            return Fail(where + ": no interface " + name);
        if (!placed_.insert(name).second)
            return Fail(where + ": interface " + name + " is placed twice");
        out << "#### " << found->name << "\n\n" << found->text;
        if (std::string(found->parent) != "KCommon")
            out << " A `" << found->parent << "`: it answers the operations of `" << found->parent
                << "` too.";
        out << "\n\n";
        if (found->operations.empty())
            out << "No operations of its own.\n";
        for (const Operation& op : found->operations)
            out << "- `" << op.result << ' ' << op.name << op.params << "`  \n  " << op.text
                << '\n';
    }

    void WriteLists(std::ostream& out) {
        out << "| list class | holds handles on |\n|---|---|\n";
#define ZPI_REF_LIST(List, Element) out << "| `" #List "` | `" #Element "` |\n";
        ZPI_LISTS(ZPI_REF_LIST)
#undef ZPI_REF_LIST
    }

    void WriteEnumeration(std::ostream& out, const std::string& name, const std::string& where) {
        auto it = Enumerations().find(name);
        if (it == Enumerations().end() || !it->second)
            return Fail(where + ": no enumeration " + name);
        out << "| `" << name << "` | value |\n|---|---|\n";
        for (int v = 0; v < it->second->count(); ++v)
            out << "| `" << it->second->nameOf(v) << "` | " << v << " |\n";
    }

    std::vector<Interface> interfaces_;
    std::set<std::string> placed_;
    std::vector<std::string> failures_;
};

int Usage() {
    std::fprintf(stderr, "usage: api_reference TEMPLATE [--check REFERENCE]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--check"))
        return Usage();
    std::ifstream templ(argv[1]);
    if (!templ) {
        std::fprintf(stderr, "api_reference: cannot read the template %s\n", argv[1]);
        return 1;
    }
    Maker maker(Interfaces());
    const std::string made = maker.Make(templ);
    if (!maker.Failures().empty()) {
        for (const std::string& why : maker.Failures())
            std::fprintf(stderr, "api_reference: %s\n", why.c_str());
        return 1;
    }
    if (argc == 2) {
        std::fwrite(made.data(), 1, made.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::ifstream in(argv[3], std::ios::binary);
    std::ostringstream have;
    have << in.rdbuf();
    if (in && have.str() == made)
        return 0;
    // The first line that differs, to say where.
    std::istringstream a(have.str()), b(made);
    std::string la, lb;
    int line = 0;
    while (true) {
        ++line;
        const bool ga = bool(std::getline(a, la)), gb = bool(std::getline(b, lb));
        if (!ga || !gb || la != lb) {
            std::fprintf(stderr,
                         "api_reference: %s is not what the tables make (first difference at line "
                         "%d:\n  has:  %s\n  made: %s)\nremake it: api_reference %s > %s\n",
                         argv[3], line, ga ? la.c_str() : "(end)", gb ? lb.c_str() : "(end)",
                         argv[1], argv[3]);
            return 1;
        }
    }
}
