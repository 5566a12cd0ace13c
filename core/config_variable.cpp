#include "core/config_variable.h"

#include "core/command_line.h"
#include "core/compare_nocase.h"
#include "core/kassert.h"
#include "core/numerics.h"
#include "core/print.h"
#include "core/scan.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

ConfigVariableList* cvar_list = nullptr;

namespace {

void copy_cut(char (&dst)[CVAR_STRLEN], const char* text)
{
    std::snprintf(dst, CVAR_STRLEN, "%s", text);
}

const char* type_name(int type)
{
    switch (type) {
    case CVTYPE_STRING: return "String";
    case CVTYPE_BOOL: return "Bool";
    case CVTYPE_INT: return "Int";
    case CVTYPE_FLOAT: return "Float";
    default: return "?";
    }
}

} // namespace

ConfigVariable::~ConfigVariable()
{
    if (on_list_) {
        print_format(P_ERROR, "ConfigVariable '%s' still linked !", name_);
    }
}

void ConfigVariable::mark_assigned()
{
    flags_ = (flags_ | CVF_CHANGED) & ~CVF_INVALID;
}

void ConfigVariable::set_bool_value(int b)
{
    value_ = b != 0 ? 1u : 0u;
    copy_cut(string_, b != 0 ? "True" : "False");
    mark_assigned();
}

void ConfigVariable::set_int_value(int32_t i)
{
    value_ = static_cast<uint32_t>(i);
    std::snprintf(string_, CVAR_STRLEN, "%d", i);
    mark_assigned();
}

void ConfigVariable::set_float_value(float f)
{
    value_ = std::bit_cast<uint32_t>(f);
    std::snprintf(string_, CVAR_STRLEN, "%.8g", static_cast<double>(f));
    mark_assigned();
}

int ConfigVariable::set_string(const char* text)
{
    switch (type_) {
    case CVTYPE_STRING:
        value_ = 0;
        copy_cut(string_, text != nullptr ? text : "");
        break;
    case CVTYPE_BOOL: {
        if (text == nullptr) {
            value_ = 0;
            copy_cut(string_, "false");
            break;
        }
        int32_t v = 0;
        if (compare_nocase(text, "true") == 0) {
            v = 1;
        } else if (compare_nocase(text, "false") == 0) {
            v = 0;
        } else if (!scan_int(text, v) || (v != 0 && v != 1)) {
            flags_ |= CVF_INVALID;
            return 0;
        }
        value_ = static_cast<uint32_t>(v);
        copy_cut(string_, v != 0 ? "True" : "False");
        break;
    }
    case CVTYPE_INT: {
        if (text == nullptr) {
            value_ = 0;
            copy_cut(string_, "0");
            break;
        }
        int32_t v = 0;
        if (!scan_int(text, v)) {
            flags_ |= CVF_INVALID;
            return 0;
        }
        value_ = static_cast<uint32_t>(v);
        copy_cut(string_, text);
        break;
    }
    case CVTYPE_FLOAT: {
        if (text == nullptr) {
            value_ = 0;
            copy_cut(string_, "0.0");
            break;
        }
        float v = 0.0f;
        if (!scan_float(text, v)) {
            flags_ |= CVF_INVALID;
            return 0;
        }
        value_ = std::bit_cast<uint32_t>(v);
        copy_cut(string_, text);
        break;
    }
    default:
        return 0;
    }
    mark_assigned();
    return 1;
}

int ConfigVariable::set_bool(int b)
{
    if (type_ != CVTYPE_BOOL) {
        print_format(P_WARNING, "ConfigVariable: %s in not a boolean variable !", name_);
        return 0;
    }
    set_bool_value(b);
    return 1;
}

int ConfigVariable::set_int(int32_t i)
{
    if (type_ != CVTYPE_INT) {
        print_format(P_WARNING, "ConfigVariable: %s in not an integer variable !", name_);
        return 0;
    }
    set_int_value(i);
    return 1;
}

int ConfigVariable::set_float(float f)
{
    if (type_ != CVTYPE_FLOAT) {
        print_format(P_WARNING, "ConfigVariable: %s in not a float variable !", name_);
        return 0;
    }
    set_float_value(f);
    return 1;
}

int ConfigVariable::set_saved_bool(int b)
{
    if (type_ != CVTYPE_BOOL) {
        return 0;
    }
    saved_ = b != 0 ? 1u : 0u;
    return 1;
}

int ConfigVariable::set_saved_int(int32_t i)
{
    if (type_ != CVTYPE_INT) {
        return 0;
    }
    saved_ = static_cast<uint32_t>(i);
    return 1;
}

int ConfigVariable::set_saved_float(float f)
{
    if (type_ != CVTYPE_FLOAT) {
        return 0;
    }
    saved_ = std::bit_cast<uint32_t>(f);
    return 1;
}

int ConfigVariable::restore_saved()
{
    switch (type_) {
    case CVTYPE_BOOL: set_bool_value(saved_ != 0); return 1;
    case CVTYPE_INT: set_int_value(static_cast<int32_t>(saved_)); return 1;
    case CVTYPE_FLOAT: set_float_value(std::bit_cast<float>(saved_)); return 1;
    default: return 0;
    }
}

bool ConfigVariable::is_true() const
{
    switch (type_) {
    case CVTYPE_STRING: return string_[0] != '\0';
    case CVTYPE_FLOAT: return (value_ & 0x7FFFFFFFu) != 0;
    default: return value_ != 0;
    }
}

bool ConfigVariable::check_changed()
{
    const bool changed = (flags_ & CVF_CHANGED) != 0;
    flags_ &= ~CVF_CHANGED;
    return changed;
}

int32_t ConfigVariable::int_value() const
{
    switch (type_) {
    case CVTYPE_STRING: return static_cast<int32_t>(std::strlen(string_));
    case CVTYPE_FLOAT: return float_to_int_trunc(as_float());
    default: return as_int();
    }
}

void ConfigVariable::print() const
{
    const bool invalid = (flags_ & CVF_INVALID) != 0;
    const char* text = string_;
    if (invalid) {
        text = "Invalid value";
    } else if (type_ == CVTYPE_STRING) {
        text = format_temp("'%s'", string_);
    }
    print_format(P_MESSAGE, "%s %s %c %s", name_, type_name(type_), invalid ? ':' : '=', text);
}

ConfigVariableList::~ConfigVariableList()
{
    for (ConfigVariable** head : {&active_, &inactive_}) {
        while (*head != nullptr) {
            ConfigVariable* const v = *head;
            *head = v->next_;
            v->next_ = nullptr;
            v->on_list_ = false;
            delete v;
        }
    }
    if (cvar_list == this) {
        cvar_list = nullptr;
    }
}

void ConfigVariableList::insert_active(ConfigVariable* variable)
{
    ConfigVariable** link = &active_;
    while (*link != nullptr && compare_nocase((*link)->name_, variable->name_) <= 0) {
        link = &(*link)->next_;
    }
    variable->next_ = *link;
    *link = variable;
    variable->on_list_ = true;
}

ConfigVariable* ConfigVariableList::link(int type, uint32_t flags, const char* name, const char* default_text, int force)
{
    K_ASSERT(type >= CVTYPE_MIN && type <= CVTYPE_MAX);
    K_ASSERT(!(flags & CVFMASK_INTERNAL));
    K_ASSERT(name);
    // Names and defaults can come from users (console, scripts): refuse, never stop.
    if (std::strlen(name) >= CVAR_STRLEN) {
        print_format(P_WARNING, "ConfigVariable: name '%.40s...' is longer than %d characters", name, CVAR_STRLEN - 1);
        return nullptr;
    }
    if (default_text != nullptr && std::strlen(default_text) >= CVAR_STRLEN) {
        print_format(P_WARNING, "ConfigVariable '%s': default value cut to %d characters", name, CVAR_STRLEN - 1);
    }

    bool inactive = false;
    ConfigVariable* previous = nullptr;
    ConfigVariable* v = find(name);
    if (v == nullptr) {
        for (ConfigVariable* p = inactive_; p != nullptr; previous = p, p = p->next_) {
            if (compare_nocase(p->name_, name) == 0) {
                v = p;
                inactive = true;
                break;
            }
        }
    }

    if (v == nullptr) {
        v = new (std::nothrow) ConfigVariable;
        if (v == nullptr) {
            return nullptr;
        }
        v->type_ = type;
        v->lock_ = 1;
        copy_cut(v->name_, name);
        v->flags_ = flags;
        v->set_string(default_text);
        v->saved_ = v->value_;
        if (force == 0 && command_line != nullptr) {
            while (command_line->find_option("set")) {
                if (command_line->parameter_count() >= 2 && compare_nocase(command_line->parameter(0), name) == 0) {
                    // A malformed value keeps the default; the user learns why.
                    if (v->set_string(command_line->parameter(1)) == 0) {
                        print_format(P_WARNING, "Can't set '%s' to '%s' !", v->name_, command_line->parameter(1));
                    }
                    break;
                }
            }
            command_line->end_search();
        }
        insert_active(v);
        return v;
    }

    if (force != 0) {
        if (v->type_ != type) {
            const bool quiet = v->type_ == CVTYPE_INT &&
                               (type == CVTYPE_FLOAT || (type == CVTYPE_BOOL && (v->value_ == 0 || v->value_ == 1)));
            if (!quiet) {
                print_format(P_WARNING, "Changing type of '%s' !", name);
            }
        }
        v->type_ = type;
        v->set_string(default_text);
    } else {
        if (v->type_ != type) {
            if (v->type_ == CVTYPE_INT && type == CVTYPE_FLOAT) {
                v->type_ = CVTYPE_FLOAT;
                v->set_float_value(static_cast<float>(v->as_int()));
            } else if (v->type_ == CVTYPE_INT && type == CVTYPE_BOOL && (v->value_ == 0 || v->value_ == 1)) {
                v->type_ = CVTYPE_BOOL;
                v->set_bool_value(static_cast<int>(v->value_));
            } else {
                print_format(P_WARNING, "ConfigVariable '%s' type mismatch !", name);
                return nullptr;
            }
        }
        if ((v->flags_ & 0xFFF0u) != flags) {
            print_format(P_WARNING, "ConfigVariable '%s' flags mismatch", name);
            v->flags_ = flags | (v->flags_ & CVFMASK_INTERNAL);
        }
    }

    if (!inactive) {
        ++v->lock_;
        return v;
    }
    K_ASSERT(!v->lock_);
    v->lock_ = 1;
    if (previous != nullptr) {
        previous->next_ = v->next_;
    } else {
        inactive_ = v->next_;
    }
    v->next_ = nullptr;
    insert_active(v);
    return v;
}

void ConfigVariableList::release(ConfigVariable* variable)
{
    K_ASSERT(variable);
    ConfigVariable* previous = nullptr;
    ConfigVariable* c2 = active_;
    while (c2 != nullptr && c2 != variable) {
        previous = c2;
        c2 = c2->next_;
    }
    if (c2 == nullptr) {
        print_string(P_ERROR, "Tried to release inactive variable");
        return;
    }
    K_ASSERT(c2->lock_ > 0);
    if (--c2->lock_ > 0) {
        return;
    }
    if (previous != nullptr) {
        previous->next_ = c2->next_;
    } else {
        active_ = c2->next_;
    }
    c2->next_ = inactive_;
    inactive_ = c2;
}

ConfigVariable* ConfigVariableList::find(const char* name) const
{
    K_ASSERT(name);
    for (ConfigVariable* v = active_; v != nullptr; v = v->next_) {
        if (compare_nocase(v->name_, name) == 0) {
            return v;
        }
    }
    return nullptr;
}

ConfigVariable* ConfigVariableList::complete(const char* prefix, const char* current) const
{
    while (*prefix == ' ') {
        ++prefix;
    }
    const size_t len = std::strlen(prefix);
    ConfigVariable* found = nullptr;
    if (current != nullptr) {
        while (*current == ' ') {
            ++current;
        }
        for (ConfigVariable* v = active_; v != nullptr; v = v->next_) {
            if (compare_nocase(v->name_, current) == 0) {
                found = v;
                break;
            }
        }
    }
    const bool wrap = found != nullptr && found->next_ != nullptr;
    ConfigVariable* const start = wrap ? found->next_ : active_;
    for (ConfigVariable* v = start; v != nullptr; v = v->next_) {
        if (compare_nocase_n(v->name_, prefix, len) == 0) {
            return v;
        }
    }
    if (wrap) {
        for (ConfigVariable* v = active_; v != found; v = v->next_) {
            if (compare_nocase_n(v->name_, prefix, len) == 0) {
                return v;
            }
        }
        return found;
    }
    return nullptr;
}

void ConfigVariableList::restore_saved(uint32_t mask, uint32_t value)
{
    for (ConfigVariable* head : {active_, inactive_}) {
        for (ConfigVariable* v = head; v != nullptr; v = v->next_) {
            if (v->type_ != CVTYPE_STRING && (v->flags_ & mask) == value) {
                v->restore_saved();
            }
        }
    }
}

void release_variable(ConfigVariable*& variable)
{
    if (variable != nullptr) {
        K_ASSERT(cvar_list);
        cvar_list->release(variable);
        variable = nullptr;
    }
}
