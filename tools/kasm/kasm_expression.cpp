#include "tools/kasm/kasm_expression.h"

#include <bit>
#include <cctype>
#include <cstdlib>

namespace kasm {

bool is_name_start(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

bool is_name_char(char c)
{
    return is_name_start(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '@';
}

namespace {

class Parser {
public:
    Parser(const std::string& t, const SymbolLookup& l, bool unknown) : text(t), lookup(l), allow_unknown(unknown) {}

    bool parse(Value& out, std::string& error)
    {
        out = binary(0);
        skip();
        if (failed.empty() && pos < text.size()) {
            failed = "unexpected '" + text.substr(pos) + "'";
        }
        error = failed;
        return failed.empty();
    }

private:
    const std::string& text;
    const SymbolLookup& lookup;
    bool allow_unknown;
    size_t pos = 0;
    std::string failed;

    void skip()
    {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) {
            ++pos;
        }
    }
    bool accept(const char* op)
    {
        skip();
        const size_t n = std::char_traits<char>::length(op);
        if (text.compare(pos, n, op) != 0) {
            return false;
        }
        // "<" must not take the first half of "<<".
        if (n == 1 && (op[0] == '<' || op[0] == '>') && pos + 1 < text.size() && text[pos + 1] == op[0]) {
            return false;
        }
        pos += n;
        return true;
    }
    Value fail(const std::string& why)
    {
        if (failed.empty()) {
            failed = why;
        }
        return Value{};
    }

    static int precedence(const std::string& op)
    {
        if (op == "|") return 1;
        if (op == "^") return 2;
        if (op == "&") return 3;
        if (op == "<<" || op == ">>") return 4;
        if (op == "+" || op == "-") return 5;
        return 6;  // * / %
    }

    bool next_operator(std::string& op)
    {
        skip();
        static const char* const ops[] = {"<<", ">>", "|", "^", "&", "+", "-", "*", "/", "%"};
        for (const char* o : ops) {
            const size_t n = std::char_traits<char>::length(o);
            if (text.compare(pos, n, o) == 0) {
                op = o;
                return true;
            }
        }
        return false;
    }

    Value binary(int min_prec)
    {
        Value left = unary();
        std::string op;
        while (failed.empty() && next_operator(op) && precedence(op) > min_prec) {
            pos += op.size();
            Value right = binary(precedence(op));
            left = apply(op, left, right);
        }
        return left;
    }

    Value apply(const std::string& op, const Value& a, const Value& b)
    {
        if (!failed.empty()) {
            return a;
        }
        if (a.is_float || b.is_float) {
            return fail("floats take no operators");
        }
        Value r;
        r.known = a.known && b.known;
        if (!r.known) {
            return r;
        }
        if (op == "+") {
            if (a.kind != Value::Abs && b.kind != Value::Abs) {
                return fail("cannot add two addresses");
            }
            r = a.kind != Value::Abs ? a : b;
            r.value = static_cast<int64_t>(static_cast<uint32_t>(a.value + b.value));
            return r;
        }
        if (op == "-") {
            if (b.kind == Value::Abs) {
                r = a;
                r.value = a.value - b.value;
                return r;
            }
            if (a.kind == Value::Section && b.kind == Value::Section && a.section == b.section) {
                r.value = a.value - b.value;
                return r;
            }
            return fail("cannot subtract these addresses");
        }
        if (a.kind != Value::Abs || b.kind != Value::Abs) {
            return fail("'" + op + "' needs plain numbers");
        }
        const int64_t x = a.value;
        const int64_t y = b.value;
        if ((op == "/" || op == "%") && y == 0) {
            return fail("division by zero");
        }
        if (op == "*") r.value = x * y;
        else if (op == "/") r.value = x / y;
        else if (op == "%") r.value = x % y;
        else if (op == "<<") r.value = static_cast<int64_t>(static_cast<uint64_t>(x) << (y & 63));
        else if (op == ">>") r.value = x >> (y & 63);
        else if (op == "&") r.value = x & y;
        else if (op == "|") r.value = x | y;
        else r.value = x ^ y;
        return r;
    }

    Value unary()
    {
        if (accept("-")) {
            Value v = unary();
            if (v.kind != Value::Abs) {
                return fail("cannot negate an address");
            }
            if (v.is_float) {
                v.value = std::bit_cast<uint32_t>(-std::bit_cast<float>(static_cast<uint32_t>(v.value)));
            } else {
                v.value = -v.value;
            }
            return v;
        }
        if (accept("~")) {
            Value v = unary();
            if (v.kind != Value::Abs || v.is_float) {
                return fail("'~' needs a plain number");
            }
            v.value = ~v.value;
            return v;
        }
        if (accept("+")) {
            return unary();
        }
        return primary();
    }

    Value primary()
    {
        skip();
        if (pos >= text.size()) {
            return fail("expression expected");
        }
        const char c = text[pos];
        if (c == '(') {
            ++pos;
            Value v = binary(0);
            if (!accept(")")) {
                return fail("')' expected");
            }
            return v;
        }
        if (c == '\'') {
            if (pos + 2 < text.size() && text[pos + 2] == '\'') {
                Value v;
                v.value = static_cast<unsigned char>(text[pos + 1]);
                pos += 3;
                return v;
            }
            return fail("bad character constant");
        }
        if (std::isdigit(static_cast<unsigned char>(c))) {
            return number();
        }
        if (c == '@' || is_name_start(c)) {
            const size_t start = pos;
            ++pos;
            while (pos < text.size() && is_name_char(text[pos])) {
                ++pos;
            }
            const std::string name = text.substr(start, pos - start);
            if (c == '@') {
                if (name.size() < 2) {
                    return fail("name expected after '@'");
                }
                Value v;
                v.kind = Value::External;
                v.symbol = name.substr(1);
                return v;
            }
            Value v;
            if (lookup(name, v)) {
                return v;
            }
            if (allow_unknown) {
                v = Value{};
                v.known = false;
                return v;
            }
            return fail("undefined symbol \"" + name + "\"");
        }
        return fail(std::string("unexpected '") + c + "'");
    }

    Value number()
    {
        const char* start = text.c_str() + pos;
        size_t end = pos;
        bool is_float = false;
        if (text.compare(pos, 2, "0x") == 0 || text.compare(pos, 2, "0X") == 0 || text.compare(pos, 2, "0b") == 0) {
            end += 2;
            while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
        } else {
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
            if (end < text.size() && (text[end] == '.' || text[end] == 'e' || text[end] == 'E')) {
                is_float = true;
            }
        }
        Value v;
        char* stop = nullptr;
        if (is_float) {
            const float f = std::strtof(start, &stop);
            v.is_float = true;
            v.value = std::bit_cast<uint32_t>(f);
            if (stop != nullptr && (*stop == 'f' || *stop == 'F')) {
                ++stop;
            }
        } else if (text.compare(pos, 2, "0b") == 0) {
            v.value = static_cast<int64_t>(std::strtoull(start + 2, &stop, 2));
        } else {
            v.value = static_cast<int64_t>(std::strtoull(start, &stop, 0));
        }
        pos = static_cast<size_t>(stop - text.c_str());
        if (pos < text.size() && is_name_char(text[pos])) {
            return fail("bad number");
        }
        return v;
    }
};

} // namespace

bool evaluate(const std::string& text, const SymbolLookup& lookup, bool allow_unknown, Value& out, std::string& error)
{
    Parser p(text, lookup, allow_unknown);
    return p.parse(out, error);
}

} // namespace kasm
