#pragma once
// Expressions of the assembler: integers, floats, labels, externals, with the
// operators of C. A value is absolute, an offset into a section of this file,
// or an external symbol plus an addend.
#include <cstdint>
#include <functional>
#include <string>

namespace kasm {

struct Value {
    enum Kind { Abs, Section, External } kind = Abs;
    int section = 0;
    std::string symbol;
    int64_t value = 0;   // the number, or the addend
    bool is_float = false;
    bool known = true;   // false while a forward label is unresolved (first pass)
};

// Resolves a name; false when it is unknown.
using SymbolLookup = std::function<bool(const std::string& name, Value& out)>;

// Evaluates text; on failure returns false with error set. With allow_unknown,
// unknown names give a value that is not known instead of an error.
bool evaluate(const std::string& text, const SymbolLookup& lookup, bool allow_unknown, Value& out,
              std::string& error);

bool is_name_start(char c);
bool is_name_char(char c);

} // namespace kasm
