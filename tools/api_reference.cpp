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
//                     read from its type descriptor;
//   @statuses@        every status of api/zpi50_status.h (found beside the
//                     template's folder) with its value and its comment, in
//                     the header's groups.
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

// The statuses of the status header: its "// ---- group ----" lines, and
// each "NAME = value," with its comment (the lines before it, or the one
// after it on its line and the lines below that continue it).
struct Status {
    std::string group, name, value, meaning;
};

std::string Trim(const std::string& text) {
    const size_t from = text.find_first_not_of(" \t");
    const size_t to = text.find_last_not_of(" \t");
    return from == std::string::npos ? "" : text.substr(from, to - from + 1);
}

std::vector<Status> ReadStatuses(std::istream& in) {
    std::vector<Status> all;
    std::string group, pending, line;
    size_t continueAt = std::string::npos; // column of the comment that may go on
    bool inGroup = false;
    while (std::getline(in, line)) {
        const size_t slash = line.find("//");
        const std::string before = Trim(line.substr(0, slash));
        const std::string comment = slash == std::string::npos ? "" : Trim(line.substr(slash + 2));
        if (before.empty() && slash != std::string::npos) {
            if (inGroup || comment.rfind("----", 0) == 0) {
                group = inGroup ? group + " " + comment : comment;
                inGroup = group.size() < 8 || group.compare(group.size() - 4, 4, "----") != 0;
                if (!inGroup)
                    group = Trim(group.substr(4, group.size() - 8));
                pending.clear();
            } else if (slash == continueAt && !all.empty()) {
                all.back().meaning += " " + comment;
            } else {
                pending += (pending.empty() ? "" : " ") + comment;
                continueAt = std::string::npos;
            }
            continue;
        }
        const size_t eq = before.find('=');
        if (before.rfind("ZPI_", 0) == 0 && eq != std::string::npos) {
            std::string value = Trim(before.substr(eq + 1));
            if (!value.empty() && value.back() == ',')
                value.pop_back();
            all.push_back({group, Trim(before.substr(0, eq)), value,
                           comment.empty() ? pending : comment});
            continueAt = comment.empty() ? std::string::npos : slash;
        } else {
            continueAt = std::string::npos;
        }
        pending.clear();
    }
    return all;
}

class Maker {
public:
    Maker(std::vector<Interface> interfaces, std::string root)
        : interfaces_(std::move(interfaces)), root_(std::move(root)) {
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
            else if (line == "@statuses@")
                WriteStatuses(out, where);
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

    void WriteStatuses(std::ostream& out, const std::string& where) {
        const std::string path = root_ + "api/zpi50_status.h";
        std::ifstream in(path);
        const std::vector<Status> statuses = ReadStatuses(in);
        if (statuses.empty())
            return Fail(where + ": no statuses read from " + path);
        std::string group = "-";
        for (const Status& s : statuses) {
            if (s.meaning.empty())
                Fail(path + ": " + s.name + " has no comment");
            if (s.group != group) {
                group = s.group;
                out << (&s == &statuses.front() ? "" : "\n");
                if (!group.empty())
                    out << "*" << group << "*\n\n";
                out << "| value | name | meaning |\n|---|---|---|\n";
            }
            out << "| " << s.value << " | `" << s.name << "` | " << s.meaning << " |\n";
        }
    }

    std::vector<Interface> interfaces_;
    std::string root_; // the repository's folder, ending in '/'
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
    // The repository: the parent of the template's folder.
    std::string root = argv[1];
    const size_t slash = root.find_last_of('/');
    root = slash == std::string::npos ? "../" : root.substr(0, slash + 1) + "../";
    Maker maker(Interfaces(), root);
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
