// The fifteen commands every command set carries, run by one handler that
// selects by id, under the set's denied-built-ins mask and read/write rules.
#include "core/cons_cmd.h"

#include "core/command_file.h"
#include "core/config_variable.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "core/scan.h"
#include "core/wild_match.h"
#include "fsys/fsys.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

enum BuiltinId {
    BI_CALL = 1,
    BI_DEFINE = 2,
    BI_UNDEFINE = 3,
    BI_HELP = 4,
    BI_ECHO = 5,
    BI_WAIT = 6,
    BI_LS = 7,
    BI_CVARLIST = 16,
    BI_SET = 17,
    BI_TOGGLE = 18,
    BI_CV_COPY = 19,
    BI_CV_ADD = 20,
    BI_CV_MUL = 21,
    BI_CV_DIV = 22,
    BI_CV_CLIP = 23,
};

struct Builtin {
    const char* name;
    int id;
    int needs_arguments;
    uint32_t denied_by;
    const char* help;
};

constexpr Builtin builtins[] = {
    {"Call", BI_CALL, 1, CONSCMD_DENY_CALL,
     "Call <filename>...\n     Execute commands in file <filename>.\n     Multiple files may be specified"},
    {"Define", BI_DEFINE, 1, CONSCMD_DENY_DEFINE,
     "Define <new_command> <command>\n     Define new command as sequence of known commands"},
    {"Undefine", BI_UNDEFINE, 1, CONSCMD_DENY_DEFINE, "Undefine <alias>\n     Undefine alias"},
    {"Help", BI_HELP, 0, 0, "Help [<pattern>...]\n     List all commands and aliases matching <pattern>"},
    {"Echo", BI_ECHO, 1, CONSCMD_DENY_ECHO, "Echo <string>\n     Output string to console"},
    {"Wait", BI_WAIT, 1, CONSCMD_DENY_WAIT, "Wait <frames>\n     Delay command execution"},
    {"Ls", BI_LS, 1, CONSCMD_DENY_LS, "Ls <directory> [<pattern>...]\n     List directory contents"},
    {"CVarList", BI_CVARLIST, 0, 0, "CVarList [<pattern>...]\n     List all variables matching <pattern>"},
    {"Set", BI_SET, 1, 0, "Set <variable> [<value>]\n     Set/print variable value"},
    {"Toggle", BI_TOGGLE, 1, 0, "Toggle <boolean_variable>\n     Toggle variable value"},
    {"Cv_Copy", BI_CV_COPY, 1, 0, "Cv_Copy <dest_var> <src_var>\n     Copy variable value"},
    {"Cv_Add", BI_CV_ADD, 1, 0, "Cv_Add <dest_var> <src_var>\n     Add src_var value to dest_var (integer or float)"},
    {"Cv_Mul", BI_CV_MUL, 1, 0, "Cv_Mul <dest_var> <src_var>\n     Multiply dest_var (integer or float) by src_var"},
    {"Cv_Div", BI_CV_DIV, 1, 0, "Cv_Div <dest_var> <src_var>\n     Divide dest_var (integer or float) by src_var"},
    {"Cv_Clip", BI_CV_CLIP, 1, 0, "Cv_Clip <var> <min> <max>\n     Clip integer/float variable value"},
};

const Builtin* find_builtin(int id)
{
    for (const Builtin& b : builtins) {
        if (b.id == id) {
            return &b;
        }
    }
    return nullptr;
}

constexpr char temp_letters[4] = {'B', 'I', 'F', 'S'};
constexpr int temp_types[4] = {CVTYPE_BOOL, CVTYPE_INT, CVTYPE_FLOAT, CVTYPE_STRING};

// True when no pattern is given or the name matches one of them.
bool matches_any(const char* name, const char* const* patterns, int count, int fold)
{
    if (count <= 0) {
        return true;
    }
    for (int i = 0; i < count; ++i) {
        if (wild_match(name, patterns[i], fold) != 0) {
            return true;
        }
    }
    return false;
}

ConfigVariable* find_variable(const char* name)
{
    ConfigVariable* const v = cvar_list != nullptr ? cvar_list->find(name) : nullptr;
    if (v == nullptr) {
        print_format(P_WARNING, "Unknown variable '%s' !", name);
    }
    return v;
}

float float_value(const ConfigVariable* v)
{
    switch (v->type()) {
    case CVTYPE_FLOAT: return v->as_float();
    case CVTYPE_BOOL: return v->as_bool() ? 1.0f : 0.0f;
    default: return static_cast<float>(v->int_value());
    }
}

// The integer nearest to v inside the 32-bit range.
int32_t saturate_int(double v)
{
    if (v >= 2147483647.0) {
        return INT32_MAX;
    }
    if (v <= -2147483648.0) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

void copy_variable(ConfigVariable* dest, const ConfigVariable* src)
{
    switch (dest->type()) {
    case CVTYPE_BOOL: (void)dest->set_bool(src->is_true() ? 1 : 0); break;
    case CVTYPE_INT: (void)dest->set_int(src->int_value()); break;
    case CVTYPE_FLOAT: (void)dest->set_float(float_value(src)); break;
    default: (void)dest->set_string(src->string()); break;
    }
}

void compute(int id, ConfigVariable* dest, const ConfigVariable* src)
{
    if (dest->type() == CVTYPE_INT) {
        const int32_t a = dest->as_int();
        const int32_t b = src->int_value();
        if (id == BI_CV_ADD) {
            (void)dest->set_int(wrap_add(a, b));
        } else if (id == BI_CV_MUL) {
            (void)dest->set_int(wrap_mul(a, b));
        } else if (b == 0) {
            print_string(P_WARNING, "Cv_Div: divide by zero !");
            (void)dest->set_int(0);
        } else {
            (void)dest->set_int(safe_div(a, b));
        }
        return;
    }
    const float a = dest->as_float();
    const float b = float_value(src);
    if (id == BI_CV_ADD) {
        (void)dest->set_float(a + b);
    } else if (id == BI_CV_MUL) {
        (void)dest->set_float(a * b);
    } else if (b == 0.0f) {
        print_string(P_WARNING, "Cv_Div: divide by zero !");
        (void)dest->set_float(0.0f);
    } else {
        (void)dest->set_float(a / b);
    }
}

bool is_numeric(const ConfigVariable* v) { return v->type() == CVTYPE_INT || v->type() == CVTYPE_FLOAT; }

} // namespace

int ConsCmd::register_builtins()
{
    if (registered_) {
        return 0;
    }
    if (!get_space(0)) {
        return 0;
    }
    for (const Builtin& b : builtins) {
        if (add_command(b.name, b.id, &ConsCmd::builtin_handler, this, b.help, b.needs_arguments) == 0) {
            return 0;
        }
    }
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < CONSCMD_TEMP_VARS; ++i) {
            char name[CVAR_STRLEN];
            std::snprintf(name, sizeof name, "Reg%c%d", temp_letters[t], i);
            temp_[t][i] = cvar_list != nullptr ? cvar_list->link(temp_types[t], 0, name, nullptr, 0) : nullptr;
            if (temp_[t][i] == nullptr) {
                print_string(P_ERROR, "ConsCmd: Can't allocate temporary cvars !");
                return 0;
            }
        }
    }
    set_permissions(0x1B, 0x300, 0x300, 0x300, 0x300);
    registered_ = true;
    return 1;
}

void ConsCmd::builtin_handler(int id, int argc, const char* const* argv, void* context)
{
    K_ASSERT(context);
    static_cast<ConsCmd*>(context)->run_builtin(id, argc, argv);
}

int ConsCmd::call_files(int argc, const char* const* argv)
{
    for (int i = argc - 1; i >= 1; --i) {
        char* const text = read_command_file(argv[i]);
        if (text == nullptr) {
            print_format(P_WARNING, "Call: Can't call '%s' !", argv[i]);
            continue;
        }
        const bool allowed = count_expansion();
        if (allowed) {
            (void)insert_text(text);
        }
        std::free(text);
        if (!allowed) {
            return 0;
        }
    }
    return 1;
}

int ConsCmd::exec_file(const char* name)
{
    char* const text = read_command_file(name);
    if (text == nullptr) {
        return 0;
    }
    const int ok = add_text(text);
    std::free(text);
    return ok;
}

void ConsCmd::print_listing(const char* const* patterns, int count) const
{
    print_string(P_MESSAGE, "        *** Commands ***");
    for (const ConsoleCommand* c = commands_; c != nullptr; c = c->next) {
        if (matches_any(c->name, patterns, count, 1)) {
            print_string(P_MESSAGE, c->name);
        }
    }
    print_string(P_MESSAGE, "        *** Aliases ***");
    for (const ConsoleAlias* a = aliases_; a != nullptr; a = a->next) {
        if (matches_any(a->name, patterns, count, 1)) {
            print_string(P_MESSAGE, a->name);
        }
    }
}

void ConsCmd::list_variables(const char* const* patterns, int count) const
{
    if (cvar_list == nullptr) {
        return;
    }
    for (const ConfigVariable* v = cvar_list->first(); v != nullptr; v = ConfigVariableList::next(v)) {
        if (may_read(v) && matches_any(v->name(), patterns, count, 1)) {
            v->print();
        }
    }
}

void ConsCmd::run_builtin(int id, int argc, const char* const* argv)
{
    const Builtin* const b = find_builtin(id);
    if (b == nullptr) {
        print_format(P_ERROR, "Console: Unknown command type %d !", id);
        return;
    }
    if ((b->denied_by & denied_) != 0) {
        print_format(P_MESSAGE, "Not allowed to '%s'", b->name);
        return;
    }
    const int n = argc - 1;
    switch (id) {
    case BI_CALL:
        (void)call_files(argc, argv);
        return;
    case BI_DEFINE:
        if (n != 2) {
            break;
        }
        (void)define_alias(argv[1], argv[2]);
        return;
    case BI_UNDEFINE:
        if (n != 1) {
            break;
        }
        (void)undefine_alias(argv[1]);
        return;
    case BI_HELP:
        print_listing(argv + 1, n);
        return;
    case BI_ECHO:
        if (n != 1) {
            break;
        }
        print_format(P_MESSAGE, "%s", argv[1]);
        return;
    case BI_WAIT: {
        if (n != 1) {
            break;
        }
        int32_t frames = 0;
        if (!scan_int(argv[1], frames)) {
            wait_ = 0;
            break;
        }
        wait_ = frames;
        return;
    }
    case BI_LS:
        list_directory(argc, argv);
        return;
    case BI_CVARLIST:
        list_variables(argv + 1, n);
        return;
    case BI_SET: {
        if (n > 2) {
            break;
        }
        ConfigVariable* const v = find_variable(argv[1]);
        if (v == nullptr) {
            return;
        }
        if (n == 1) {
            if (may_read(v)) {
                v->print();
            } else {
                print_format(P_MESSAGE, "%s = ?", v->name());
            }
        } else if (!may_write(v)) {
            print_format(P_MESSAGE, "Can't set '%s' - permission denied", v->name());
        } else if (v->set_string(argv[2]) == 0) {
            print_format(P_WARNING, "Can't set '%s' to '%s' !", v->name(), argv[2]);
        }
        return;
    }
    case BI_TOGGLE: {
        if (n > 1) {
            break;
        }
        ConfigVariable* const v = find_variable(argv[1]);
        if (v == nullptr) {
            return;
        }
        if (!may_write(v)) {
            print_format(P_MESSAGE, "Can't toggle '%s' - permission denied", v->name());
            return;
        }
        (void)v->set_bool(v->is_true() ? 0 : 1);
        return;
    }
    case BI_CV_COPY:
    case BI_CV_ADD:
    case BI_CV_MUL:
    case BI_CV_DIV: {
        if (n != 2) {
            break;
        }
        ConfigVariable* const dest = find_variable(argv[1]);
        const ConfigVariable* const src = find_variable(argv[2]);
        if (dest == nullptr || src == nullptr) {
            return;
        }
        if (!may_read(src)) {
            print_format(P_MESSAGE, "Can't read '%s' - permission denied", src->name());
            return;
        }
        if (id == BI_CV_COPY) {
            if (!may_write(dest)) {
                print_format(P_MESSAGE, "Can't copy to '%s' - permission denied", dest->name());
                return;
            }
            copy_variable(dest, src);
            return;
        }
        if (!may_write(dest) || !may_read(dest)) {
            print_format(P_MESSAGE, "Can't modify '%s' - permission denied", dest->name());
            return;
        }
        if (!is_numeric(dest)) {
            print_string(P_WARNING, "Can't add/mul/div boolean/string variable !");
            return;
        }
        compute(id, dest, src);
        return;
    }
    case BI_CV_CLIP: {
        if (n != 3) {
            break;
        }
        ConfigVariable* const v = find_variable(argv[1]);
        if (v == nullptr) {
            return;
        }
        float bounds[2] = {0.0f, 0.0f};
        for (int i = 0; i < 2; ++i) {
            if (!scan_float(argv[2 + i], bounds[i])) {
                print_format(P_WARNING, "Can't clip by '%s' !", argv[2 + i]);
                return;
            }
        }
        const float lo = bounds[0];
        const float hi = bounds[1];
        if (lo > hi) {
            print_string(P_WARNING, "Min is greater than max !");
            return;
        }
        if (!may_write(v) || !may_read(v)) {
            print_format(P_MESSAGE, "Can't clip '%s' - permission denied", v->name());
            return;
        }
        if (!is_numeric(v)) {
            print_string(P_WARNING, "Can't clip boolean/string variable !");
            return;
        }
        const float value = float_value(v);
        if (v->type() == CVTYPE_INT) {
            if (value < lo) {
                (void)v->set_int(saturate_int(std::ceil(static_cast<double>(lo))));
            } else if (value > hi) {
                (void)v->set_int(saturate_int(std::floor(static_cast<double>(hi))));
            }
        } else if (value < lo) {
            (void)v->set_float(lo);
        } else if (value > hi) {
            (void)v->set_float(hi);
        }
        return;
    }
    default:
        return;
    }
    print_command_help();
}

void ConsCmd::list_directory(int argc, const char* const* argv) const
{
    FileList* const list = fsys != nullptr ? fsys->list(argv[1], FSYS_LIST_FILES | FSYS_LIST_DIRS) : nullptr;
    if (list == nullptr) {
        return;
    }
    if (list->first() == nullptr) {
        print_string(P_MESSAGE, "No files found");
    }
    for (const FileNode* node = list->first(); node != nullptr; node = node->next) {
        if (!matches_any(node->name, argv + 2, argc - 2, 0)) {
            continue;
        }
        if ((node->flags & FLIST_DIRECTORY) != 0) {
            print_format(P_MESSAGE, "/%s", node->name);
        } else {
            print_format(P_MESSAGE, "%s (%d)", node->name, static_cast<int>(node->size));
        }
    }
    delete list;
}
