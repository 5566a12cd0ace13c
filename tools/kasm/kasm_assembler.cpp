#include "tools/kasm/kasm_assembler.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <cctype>
#include <cstring>
#include <map>
#include <set>

#include "tools/kasm/kasm_expression.h"
#include "tools/kasm/kasm_opcodes.h"

namespace kasm {
namespace {

constexpr int MACRO_DEPTH_MAX = 32;
constexpr size_t EXPANDED_LINES_MAX = 200000;
constexpr uint32_t SECTION_BYTES_MAX = 16u << 20;
constexpr int POOL_SECTION = 2;

struct SourceLine {
    int number;
    std::string text;
};

std::string trim(const std::string& s)
{
    size_t a = 0;
    size_t b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) {
        ++a;
    }
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) {
        --b;
    }
    return s.substr(a, b - a);
}

std::string strip_comment(const std::string& s)
{
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == '\'' && i + 2 < s.size() && s[i + 2] == '\'') {
            i += 2;
        } else if (c == ';' || (c == '/' && i + 1 < s.size() && s[i + 1] == '/')) {
            return s.substr(0, i);
        }
    }
    return s;
}

std::vector<std::string> split_operands(const std::string& s)
{
    std::vector<std::string> out;
    if (trim(s).empty()) {
        return out;
    }
    int depth = 0;
    bool quoted = false;
    std::string cur;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            cur += c;
            if (c == '\\' && i + 1 < s.size()) {
                cur += s[++i];
            } else if (c == '"') {
                quoted = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            out.push_back(trim(cur));
            cur.clear();
            continue;
        }
        cur += c;
    }
    out.push_back(trim(cur));
    return out;
}

bool parse_string(const std::string& s, std::string& out)
{
    if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
        return false;
    }
    out.clear();
    for (size_t i = 1; i + 1 < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            return false;
        }
        if (c == '\\') {
            if (i + 2 >= s.size()) {
                return false;
            }
            c = s[++i];
            switch (c) {
            case 'n': c = '\n'; break;
            case 't': c = '\t'; break;
            case 'r': c = '\r'; break;
            case '0': c = '\0'; break;
            case 'x': {
                if (i + 3 >= s.size()) {
                    return false;
                }
                const std::string hex = s.substr(i + 1, 2);
                if (!std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(hex[1]))) {
                    return false;
                }
                c = static_cast<char>(std::stoi(hex, nullptr, 16));
                i += 2;
                break;
            }
            default: break;  // \\ and \" and any other character stand for themselves
            }
        }
        out += c;
    }
    return true;
}

struct Macro {
    std::vector<std::string> params;
    std::vector<SourceLine> body;
};

struct FieldDecl {
    int line;
    std::vector<std::string> operands;
};

struct ClassDecl {
    std::string name;
    std::string size;
    std::vector<std::string> methods;
    std::vector<FieldDecl> fields;
    std::string flags;  // value of the class flags word, empty when the class has none
    int flags_line = 0;
};

// The method table's word at this index points at the class flags word.
constexpr size_t FLAGS_ENTRY = 7;

struct SaveType {
    const char* name;
    uint32_t type;
    uint32_t size;
};

const SaveType save_types[] = {
    {"byte", 1, 1},   {"bool", 2, 4},   {"int", 3, 4},     {"float", 4, 4},  {"float2", 5, 8},
    {"vector", 6, 12}, {"string", 7, 4}, {"pointer", 8, 4}, {"array", 9, 0},
};

const SaveType* find_save_type(const std::string& name)
{
    for (const SaveType& t : save_types) {
        if (name == t.name) {
            return &t;
        }
    }
    return nullptr;
}

class Assembler {
public:
    explicit Assembler(const std::string& n) : name(n) {}
    Assembly run(const std::string& source);

private:
    struct Label {
        int section;
        uint32_t offset;
    };
    struct Section {
        std::vector<uint8_t> bytes;
        uint32_t pending_zero = 0;
    };

    std::string name;
    std::vector<std::string> errors;
    std::vector<SourceLine> lines;
    int line = 0;
    int pass = 0;

    std::map<std::string, Label> labels;
    std::map<std::string, Value> equs;
    std::set<std::string> externs;
    std::vector<std::string> globals;
    std::vector<std::string> preset_names;  // .names: the table's order, kept by listings
    std::map<std::string, Macro> macros;
    int macro_uses = 0;
    bool expansion_full = false;
    size_t expanded_lines = 0; // every line the expansion looked at, so nesting cannot blow up unseen

    Section sections[KOBJ_SECTIONS_MAX];
    int current = 0;
    int highest = 0;
    std::string scope;

    std::map<std::string, uint32_t> pool_offsets;
    std::vector<std::string> pool_order;
    uint32_t pool_size = 0;
    uint32_t pool_base = 0;

    bool in_class = false;
    ClassDecl klass;

    uint32_t max_frame = 0;
    bool have_func = false;
    uint32_t min_object = 0;
    uint32_t max_object = 0;
    bool have_class = false;
    std::optional<uint32_t> frame_set;
    std::optional<std::pair<uint32_t, uint32_t>> objsizes_set;
    std::vector<KObjMisc> explicit_misc;
    bool file_overrides = false;

    KObjFile file;

    void error(const std::string& message)
    {
        if (pass == 2 || pass == 0) {
            errors.push_back(name + ":" + std::to_string(line) + ": " + message);
        }
    }
    // Errors that only pass 1 can see (labels, macros) are reported once.
    void error_first(const std::string& message)
    {
        if (pass == 1) {
            errors.push_back(name + ":" + std::to_string(line) + ": " + message);
        }
    }

    void expand(const std::vector<SourceLine>& in, int depth, std::vector<SourceLine>& out);
    void run_pass(int which);
    void statement(std::string text);
    void directive(const std::string& op, const std::vector<std::string>& args, const std::string& rest);
    void instruction(const Opcode& op, const std::vector<std::string>& args);
    void end_class();

    std::string full_name(const std::string& n) const { return n.size() > 1 && n[0] == '.' ? scope + n : n; }
    bool lookup(const std::string& n, Value& out) const;
    bool value(const std::string& text, Value& out);
    bool absolute(const std::string& text, int64_t& out);
    // A plain number, or a label's offset in its section.
    bool number_or_offset(const std::string& text, int64_t& out);

    uint32_t position() const { return static_cast<uint32_t>(sections[current].bytes.size()) + sections[current].pending_zero; }
    void flush()
    {
        Section& s = sections[current];
        s.bytes.insert(s.bytes.end(), s.pending_zero, 0);
        s.pending_zero = 0;
    }
    void emit_byte(uint8_t b)
    {
        flush();
        sections[current].bytes.push_back(b);
    }
    void emit_u32(uint32_t v)
    {
        flush();
        put_u32(sections[current].bytes, v);
    }
    void emit_word(const Value& v);
    void emit_word_text(const std::string& text)
    {
        Value v;
        if (!value(text, v)) {
            v = Value{};
        }
        emit_word(v);
    }
    void define_label(const std::string& label);
    void select(int section)
    {
        current = section;
        highest = std::max(highest, section);
    }
};

bool Assembler::lookup(const std::string& n, Value& out) const
{
    const std::string full = full_name(n);
    const auto e = equs.find(full);
    if (e != equs.end()) {
        out = e->second;
        return true;
    }
    const auto l = labels.find(full);
    if (l != labels.end()) {
        out = Value{};
        out.kind = Value::Section;
        out.section = l->second.section;
        out.value = l->second.offset;
        return true;
    }
    if (externs.count(full) != 0) {
        out = Value{};
        out.kind = Value::External;
        out.symbol = full;
        return true;
    }
    return false;
}

bool Assembler::value(const std::string& text, Value& out)
{
    if (!text.empty() && text[0] == '"') {
        std::string s;
        if (!parse_string(text, s)) {
            error("bad string " + text);
            return false;
        }
        if (pool_offsets.count(s) == 0) {
            pool_offsets[s] = pool_size;
            pool_order.push_back(s);
            pool_size += static_cast<uint32_t>(s.size()) + 1;
        }
        out = Value{};
        out.kind = Value::Section;
        out.section = POOL_SECTION;
        out.value = pool_base + pool_offsets[s];
        highest = std::max(highest, POOL_SECTION);
        return true;
    }
    std::string why;
    auto look = [this](const std::string& n, Value& v) { return lookup(n, v); };
    if (!evaluate(text, look, pass == 1, out, why)) {
        error(why);
        return false;
    }
    return true;
}

bool Assembler::absolute(const std::string& text, int64_t& out)
{
    Value v;
    std::string why;
    auto look = [this](const std::string& n, Value& x) { return lookup(n, x); };
    if (!evaluate(text, look, false, v, why)) {
        // Sizes must be known in the first pass already.
        pass == 1 ? error_first(why) : error(why);
        return false;
    }
    if (v.kind != Value::Abs) {
        pass == 1 ? error_first("a plain number is needed: " + text) : error("a plain number is needed: " + text);
        return false;
    }
    out = v.value;
    return true;
}

bool Assembler::number_or_offset(const std::string& text, int64_t& out)
{
    Value v;
    std::string why;
    auto look = [this](const std::string& n, Value& x) { return lookup(n, x); };
    if (evaluate(text, look, false, v, why) && v.kind == Value::Section) {
        out = v.value;
        return true;
    }
    return absolute(text, out);
}

void Assembler::emit_word(const Value& v)
{
    const uint32_t at = position();
    if (pass == 2 && v.known) {
        if (v.kind == Value::Section) {
            file.relocs[current][v.section].push_back(at);
        } else if (v.kind == Value::External) {
            file.xrefs[current].push_back({at, file.name_index(v.symbol)});
        }
    }
    emit_u32(static_cast<uint32_t>(v.value));
}

void Assembler::define_label(const std::string& label)
{
    if (label[0] != '.') {
        scope = label;
    }
    const std::string full = full_name(label);
    const Label here{current, position()};
    if (pass == 1) {
        if (labels.count(full) != 0 || equs.count(full) != 0) {
            error_first("\"" + full + "\" is already defined");
            return;
        }
        labels[full] = here;
    } else if (pass == 2) {
        const Label& first = labels[full];
        if (first.section != here.section || first.offset != here.offset) {
            error("\"" + full + "\" moved between passes");
        }
    }
}

void Assembler::expand(const std::vector<SourceLine>& in, int depth, std::vector<SourceLine>& out)
{
    for (size_t i = 0; i < in.size(); ++i) {
        line = in[i].number;
        const std::string text = trim(strip_comment(in[i].text));
        if (text.rfind(".macro", 0) == 0 && (text.size() == 6 || std::isspace(static_cast<unsigned char>(text[6])))) {
            const std::vector<std::string> words = split_operands(text.substr(6));
            std::string head = words.empty() ? "" : words[0];
            std::vector<std::string> params;
            // ".macro name a, b": the name and the first parameter are split by blanks.
            const size_t blank = head.find_first_of(" \t");
            if (blank != std::string::npos) {
                params.push_back(trim(head.substr(blank)));
                head = head.substr(0, blank);
            }
            for (size_t w = 1; w < words.size(); ++w) {
                params.push_back(words[w]);
            }
            const bool named = !head.empty();
            if (!named) {
                error("macro name expected");
            }
            Macro m;
            m.params = params;
            size_t j = i + 1;
            for (; j < in.size(); ++j) {
                if (trim(strip_comment(in[j].text)) == ".endm") {
                    break;
                }
                m.body.push_back(in[j]);
            }
            if (j == in.size()) {
                error("\".macro " + head + "\" has no .endm");
            }
            if (named) {
                macros[head] = m;
            }
            i = j;
            continue;
        }
        // A macro use: its first word (after labels) names a macro.
        std::string body = text;
        std::string prefix;
        for (;;) {
            size_t k = 0;
            while (k < body.size() && is_name_char(body[k])) {
                ++k;
            }
            if (k > 0 && k < body.size() && body[k] == ':') {
                prefix += body.substr(0, k + 1) + " ";
                body = trim(body.substr(k + 1));
                continue;
            }
            break;
        }
        size_t k = 0;
        while (k < body.size() && !std::isspace(static_cast<unsigned char>(body[k]))) {
            ++k;
        }
        const auto m = k > 0 ? macros.find(body.substr(0, k)) : macros.end();
        if (++expanded_lines > EXPANDED_LINES_MAX || out.size() >= EXPANDED_LINES_MAX) {
            if (!expansion_full) {
                error("more than " + std::to_string(EXPANDED_LINES_MAX) + " lines after macro expansion");
            }
            expansion_full = true;
            return;
        }
        if (m == macros.end()) {
            out.push_back({in[i].number, text});
            continue;
        }
        if (depth >= MACRO_DEPTH_MAX) {
            error("macros nested too deeply");
            continue;
        }
        const std::vector<std::string> args = split_operands(body.substr(k));
        if (args.size() != m->second.params.size()) {
            error("macro \"" + m->first + "\" takes " + std::to_string(m->second.params.size()) + " arguments");
            continue;
        }
        const std::string unique = std::to_string(++macro_uses);
        std::vector<SourceLine> copy;
        if (!prefix.empty()) {
            copy.push_back({in[i].number, prefix});
        }
        for (const SourceLine& b : m->second.body) {
            std::string t = b.text;
            std::string result;
            for (size_t p = 0; p < t.size(); ++p) {
                if (t[p] != '\\') {
                    result += t[p];
                    continue;
                }
                if (p + 1 < t.size() && t[p + 1] == '@') {
                    result += unique;
                    ++p;
                    continue;
                }
                size_t e = p + 1;
                while (e < t.size() && is_name_char(t[e])) {
                    ++e;
                }
                const std::string param = t.substr(p + 1, e - p - 1);
                const auto it = std::find(m->second.params.begin(), m->second.params.end(), param);
                if (it == m->second.params.end()) {
                    result += t[p];
                    continue;
                }
                result += args[static_cast<size_t>(it - m->second.params.begin())];
                p = e - 1;
            }
            copy.push_back({in[i].number, result});
        }
        expand(copy, depth + 1, out);
    }
}

void Assembler::run_pass(int which)
{
    pass = which;
    for (Section& s : sections) {
        s = Section{};
    }
    current = 0;
    highest = 0;
    scope.clear();
    in_class = false;
    max_frame = 0;
    have_func = false;
    have_class = false;
    min_object = 0;
    max_object = 0;
    explicit_misc.clear();
    frame_set.reset();
    objsizes_set.reset();
    if (which == 1) {
        pool_offsets.clear();
        pool_order.clear();
        pool_size = 0;
    }
    for (const SourceLine& l : lines) {
        line = l.number;
        statement(l.text);
    }
    if (in_class) {
        error("\".class " + klass.name + "\" has no .endclass");
    }
}

void Assembler::statement(std::string text)
{
    for (;;) {
        size_t k = 0;
        while (k < text.size() && is_name_char(text[k])) {
            ++k;
        }
        if (k > 0 && k < text.size() && text[k] == ':') {
            define_label(text.substr(0, k));
            text = trim(text.substr(k + 1));
            continue;
        }
        break;
    }
    if (text.empty()) {
        return;
    }
    size_t k = 0;
    while (k < text.size() && !std::isspace(static_cast<unsigned char>(text[k]))) {
        ++k;
    }
    const std::string op = text.substr(0, k);
    const std::string rest = trim(text.substr(k));
    const std::vector<std::string> args = split_operands(rest);
    if (op[0] == '.') {
        directive(op, args, rest);
        return;
    }
    if (in_class) {
        error("instruction inside .class");
        return;
    }
    if (op == "push" && !args.empty()) {
        // Any number of words, the first on top: the last ones are pushed first.
        for (size_t end = args.size(); end > 0;) {
            const size_t start = end >= 3 ? end - 3 : 0;
            instruction(opcodes[29 + (end - start) - 1],
                        std::vector<std::string>(args.begin() + static_cast<long>(start), args.begin() + static_cast<long>(end)));
            end = start;
        }
        return;
    }
    const Opcode* o = find_opcode(op.c_str());
    if (o == nullptr) {
        error("unknown instruction \"" + op + "\"");
        return;
    }
    instruction(*o, args);
}

void Assembler::instruction(const Opcode& op, const std::vector<std::string>& args)
{
    switch (op.operands) {
    case Operands::SwitchTable: {
        if (args.size() < 2) {
            error("switchtable needs a default, a low value and targets");
            return;
        }
        emit_byte(op.code);
        emit_word_text(args[0]);
        emit_word_text(args[1]);
        emit_u32(static_cast<uint32_t>(args.size() - 2));
        for (size_t i = 2; i < args.size(); ++i) {
            emit_word_text(args[i]);
        }
        return;
    }
    case Operands::SwitchSearch: {
        if (args.empty()) {
            error("switchsearch needs a default and key=target pairs");
            return;
        }
        struct Case {
            int32_t key;
            std::string target;
        };
        std::vector<Case> cases;
        for (size_t i = 1; i < args.size(); ++i) {
            const size_t eq = args[i].find('=');
            int64_t key = 0;
            if (eq == std::string::npos) {
                error("key=target expected: " + args[i]);
                return;
            }
            if (!absolute(trim(args[i].substr(0, eq)), key)) {
                return;
            }
            cases.push_back({static_cast<int32_t>(key), trim(args[i].substr(eq + 1))});
        }
        std::stable_sort(cases.begin(), cases.end(), [](const Case& a, const Case& b) { return a.key < b.key; });
        for (size_t i = 1; i < cases.size(); ++i) {
            if (cases[i].key == cases[i - 1].key) {
                error("switchsearch key " + std::to_string(cases[i].key) + " appears twice");
            }
        }
        emit_byte(op.code);
        emit_word_text(args[0]);
        emit_u32(static_cast<uint32_t>(cases.size()));
        for (const Case& c : cases) {
            emit_u32(static_cast<uint32_t>(c.key));
        }
        for (const Case& c : cases) {
            emit_word_text(c.target);
        }
        return;
    }
    default:
        break;
    }
    const int words = operand_words(op.operands);
    if (static_cast<int>(args.size()) != words) {
        error(std::string(op.name) + " takes " + std::to_string(words) + " operands");
        return;
    }
    emit_byte(op.code);
    for (const std::string& a : args) {
        emit_word_text(a);
    }
}

void Assembler::end_class()
{
    in_class = false;
    int64_t size = 0;
    absolute(klass.size, size);
    const uint32_t flags_at = position();
    if (!klass.flags.empty()) {
        emit_word_text(klass.flags);
    }
    const uint32_t info = position();
    const Label info_label{current, info};
    emit_u32(static_cast<uint32_t>(size));
    for (const FieldDecl& f : klass.fields) {
        line = f.line;
        const std::vector<std::string>& a = f.operands;
        if (a.size() < 3) {
            error(".field needs a name, a type and an offset");
            continue;
        }
        const SaveType* t = find_save_type(a[1]);
        if (t == nullptr) {
            error("unknown field type \"" + a[1] + "\"");
            continue;
        }
        int64_t offset = 0;
        absolute(a[2], offset);
        emit_word_text("\"" + a[0] + "\"");
        emit_u32(static_cast<uint32_t>(offset));
        emit_u32(t->type);
        if (t->type != 9) {
            if (a.size() != 3) {
                error(".field " + a[0] + " has too many operands");
            }
            emit_u32(t->size);
            continue;
        }
        if (a.size() < 5 || a.size() > 6) {
            error(".field " + a[0] + ", array, offset, total bytes, element type[, element size]");
            emit_u32(0);
            continue;
        }
        int64_t total = 0;
        absolute(a[3], total);
        emit_u32(static_cast<uint32_t>(total));
        const SaveType* e = find_save_type(a[4]);
        int64_t esize = e != nullptr ? e->size : 0;
        if (e == nullptr) {
            error("unknown field type \"" + a[4] + "\"");
        }
        if (a.size() == 6) {
            absolute(a[5], esize);
        }
        emit_u32(e != nullptr ? e->type : 0);
        emit_u32(static_cast<uint32_t>(esize));
    }
    emit_u32(0);
    Value v;
    v.kind = Value::Section;
    v.section = info_label.section;
    v.value = info_label.offset;
    emit_word(v);
    define_label(klass.name);
    for (const std::string& m : klass.methods) {
        emit_word_text(m);
    }
    if (!klass.flags.empty()) {
        line = klass.flags_line;
        if (klass.methods.size() > FLAGS_ENTRY) {
            error(".flags takes the method table's word at offset 28, which a .method holds");
        }
        for (size_t i = klass.methods.size(); i < FLAGS_ENTRY; ++i) {
            emit_u32(0);
        }
        Value f;
        f.kind = Value::Section;
        f.section = info_label.section;
        f.value = flags_at;
        emit_word(f);
    }
    const uint32_t object = static_cast<uint32_t>(size) + 4;
    min_object = have_class ? std::min(min_object, object) : object;
    max_object = have_class ? std::max(max_object, object) : object;
    have_class = true;
}

void Assembler::directive(const std::string& op, const std::vector<std::string>& args, const std::string& rest)
{
    auto need = [&](size_t lo, size_t hi) {
        if (args.size() < lo || args.size() > hi) {
            error(op + " takes " + (lo == hi ? std::to_string(lo) : std::to_string(lo) + " to " + std::to_string(hi)) +
                  " operands");
            return false;
        }
        return true;
    };
    auto number = [&](size_t i) {
        int64_t v = 0;
        absolute(args[i], v);
        return v;
    };
    if (in_class) {
        if (op == ".method") {
            if (need(1, 1)) {
                klass.methods.push_back(args[0]);
            }
        } else if (op == ".field") {
            klass.fields.push_back({line, args});
        } else if (op == ".flags") {
            if (need(1, 1)) {
                klass.flags = args[0];
                klass.flags_line = line;
            }
        } else if (op == ".endclass") {
            end_class();
        } else {
            error(op + " inside .class");
        }
        return;
    }
    static const std::map<std::string, int> section_names = {
        {".code", 0}, {".data", 1}, {".rodata", 2}, {".bss", 3}};
    const auto named = section_names.find(op);
    if (named != section_names.end()) {
        select(named->second);
    } else if (op == ".section") {
        if (need(1, 1)) {
            const int64_t n = number(0);
            if (n < 0 || n >= KOBJ_SECTIONS_MAX) {
                error("sections are numbered 0 to 4");
            } else {
                select(static_cast<int>(n));
            }
        }
    } else if (op == ".word") {
        for (const std::string& a : args) {
            emit_word_text(a);
        }
    } else if (op == ".byte") {
        for (const std::string& a : args) {
            Value v;
            value(a, v);
            if (v.kind != Value::Abs) {
                error(".byte takes plain numbers");
            }
            emit_byte(static_cast<uint8_t>(v.value));
        }
    } else if (op == ".float") {
        for (const std::string& a : args) {
            Value v;
            value(a, v);
            if (!v.is_float && v.kind == Value::Abs) {
                v.value = std::bit_cast<uint32_t>(static_cast<float>(v.value));
            }
            emit_word(v);
        }
    } else if (op == ".string" || op == ".ascii") {
        std::string s;
        if (!need(1, 1) || !parse_string(args[0], s)) {
            error(op + " takes one string");
            return;
        }
        for (char c : s) {
            emit_byte(static_cast<uint8_t>(c));
        }
        if (op == ".string") {
            emit_byte(0);
        }
    } else if (op == ".space") {
        if (need(1, 1)) {
            const int64_t n = number(0);
            if (n < 0 || position() + n > SECTION_BYTES_MAX) {
                pass == 1 ? error_first(".space of " + std::to_string(n) + " bytes") : error(".space of " + std::to_string(n) + " bytes");
            } else {
                sections[current].pending_zero += static_cast<uint32_t>(n);
            }
        }
    } else if (op == ".align") {
        if (need(1, 1)) {
            const int64_t n = number(0);
            if (n <= 0 || (n & (n - 1)) != 0 || n > 4096) {
                error(".align takes a power of two up to 4096");
            } else {
                while (position() % n != 0) {
                    sections[current].pending_zero += 1;
                }
            }
        }
    } else if (op == ".global" || op == ".export") {
        for (const std::string& a : args) {
            if (pass == 1 && std::find(globals.begin(), globals.end(), a) == globals.end()) {
                globals.push_back(a);
            }
        }
    } else if (op == ".extern") {
        for (const std::string& a : args) {
            externs.insert(a);
        }
    } else if (op == ".equ" || op == ".set") {
        if (need(2, 2)) {
            Value v;
            if (value(args[1], v) && v.known) {
                if (pass == 1 && (labels.count(args[0]) != 0 || equs.count(args[0]) != 0)) {
                    error_first("\"" + args[0] + "\" is already defined");
                }
                equs[args[0]] = v;
            } else if (pass == 1) {
                error_first(".equ " + args[0] + " needs a value known at this point");
            }
        }
    } else if (op == ".func") {
        if (need(2, 2)) {
            define_label(args[0]);
            int64_t frame = 0;
            absolute(args[1], frame);
            if (frame < 0 || frame > 0x7FFFFFFF) {
                error("bad frame size");
            }
            emit_u32(static_cast<uint32_t>(frame));
            max_frame = std::max(max_frame, static_cast<uint32_t>(frame));
            have_func = true;
        }
    } else if (op == ".endfunc") {
        // Marks the end for readers; nothing to write.
    } else if (op == ".class") {
        if (need(2, 2)) {
            in_class = true;
            klass = ClassDecl{};
            klass.name = args[0];
            klass.size = args[1];
        }
    } else if (op == ".maxframe") {
        if (need(1, 1)) {
            frame_set = static_cast<uint32_t>(number(0));
        }
    } else if (op == ".objsizes") {
        if (need(2, 2)) {
            objsizes_set = std::make_pair(static_cast<uint32_t>(number(0)), static_cast<uint32_t>(number(1)));
        }
    } else if (op == ".misc") {
        if (need(1, 1000)) {
            KObjMisc m;
            m.type = static_cast<uint32_t>(number(0));
            for (size_t i = 1; i < args.size(); ++i) {
                put_u32(m.bytes, static_cast<uint32_t>(number(i)));
            }
            explicit_misc.push_back(m);
        }
    } else if (op == ".names") {
        for (const std::string& a : args) {
            std::string n;
            if (!parse_string(a, n)) {
                error(".names takes quoted names");
            } else if (pass == 1) {
                preset_names.push_back(n);
            }
        }
    } else if (pass != 2) {
        // The file-level settings below are taken once, in the second pass.
        static const std::set<std::string> later = {".magic", ".arch", ".version", ".stamp", ".reserved",
                                                    ".datasize", ".crc", ".sections", ".namescount", ".memsize",
                                                    ".reloc", ".xdef", ".xref", ".trailing"};
        if (later.count(op) == 0) {
            error_first("unknown directive \"" + op + "\"");
        } else {
            file_overrides = true;
        }
    } else if (op == ".magic" || op == ".arch") {
        std::string s;
        if (!need(1, 1) || !parse_string(args[0], s) || s.size() != 4) {
            error(op + " takes a string of four characters");
            return;
        }
        std::memcpy(op == ".magic" ? file.magic : file.arch, s.data(), 4);
    } else if (op == ".version") {
        if (need(4, 4)) {
            for (int i = 0; i < 4; ++i) {
                file.version[i] = static_cast<uint8_t>(number(static_cast<size_t>(i)));
            }
        }
    } else if (op == ".stamp") {
        if (need(1, 1)) file.stamp = static_cast<uint32_t>(number(0));
    } else if (op == ".reserved") {
        if (need(1, 1)) file.reserved = static_cast<uint32_t>(number(0));
    } else if (op == ".datasize") {
        if (need(1, 1)) file.data_size = static_cast<uint32_t>(number(0));
    } else if (op == ".crc") {
        if (need(1, 1)) file.crc = static_cast<uint32_t>(number(0));
    } else if (op == ".sections") {
        if (need(1, 1)) file.section_count = static_cast<uint32_t>(number(0));
    } else if (op == ".namescount") {
        if (need(1, 1)) file.names_count = static_cast<uint32_t>(number(0));
    } else if (op == ".memsize" || op == ".reloc" || op == ".xdef" || op == ".xref") {
        // Applied after the sections are laid out (see run()).
        (void)rest;
    } else if (op == ".trailing") {
        for (size_t i = 0; i < args.size(); ++i) {
            file.trailing.push_back(static_cast<uint8_t>(number(i)));
        }
    }
}

Assembly Assembler::run(const std::string& source)
{
    std::vector<SourceLine> raw;
    size_t start = 0;
    int number = 1;
    while (start <= source.size()) {
        size_t end = source.find('\n', start);
        if (end == std::string::npos) {
            end = source.size();
        }
        std::string text = source.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        raw.push_back({number++, text});
        start = end + 1;
    }
    pass = 0;
    expand(raw, 0, lines);

    run_pass(1);
    pool_base = static_cast<uint32_t>(sections[POOL_SECTION].bytes.size()) + sections[POOL_SECTION].pending_zero;
    if (!errors.empty()) {
        return Assembly{file, errors, file_overrides};
    }
    file.sections.assign(KOBJ_SECTIONS_MAX, KObjSection{});
    file.shape();
    for (const std::string& n : preset_names) {
        file.name_index(n);
    }
    for (const std::string& g : globals) {
        file.name_index(g);
    }
    run_pass(2);

    // Pool strings go behind the explicit contents of their section.
    if (!pool_order.empty()) {
        current = POOL_SECTION;
        flush();
        for (const std::string& s : pool_order) {
            sections[POOL_SECTION].bytes.insert(sections[POOL_SECTION].bytes.end(), s.begin(), s.end());
            sections[POOL_SECTION].bytes.push_back(0);
        }
    }
    const int count = highest + 1;
    for (int i = 0; i < count; ++i) {
        file.sections[static_cast<size_t>(i)].bytes = sections[i].bytes;
        file.sections[static_cast<size_t>(i)].memory_size =
            static_cast<uint32_t>(sections[i].bytes.size()) + sections[i].pending_zero;
    }
    file.sections.resize(static_cast<size_t>(count));
    for (auto& row : file.relocs) {
        row.resize(static_cast<size_t>(count));
    }
    file.relocs.resize(static_cast<size_t>(count));
    file.xdefs.resize(static_cast<size_t>(count));
    file.xrefs.resize(static_cast<size_t>(count));

    for (const std::string& g : globals) {
        const auto l = labels.find(g);
        if (l == labels.end()) {
            pass = 0;
            errors.push_back(name + ": .global \"" + g + "\" is not a label");
            continue;
        }
        file.xdefs[static_cast<size_t>(l->second.section)].push_back({l->second.offset, file.name_index(g)});
    }
    if (have_func || frame_set) {
        KObjMisc m{0, {}};
        put_u32(m.bytes, frame_set.value_or(max_frame));
        file.misc.push_back(m);
    }
    if (have_class || objsizes_set) {
        KObjMisc m{1, {}};
        put_u32(m.bytes, objsizes_set ? objsizes_set->first : min_object);
        put_u32(m.bytes, objsizes_set ? objsizes_set->second : max_object);
        file.misc.push_back(m);
    }
    file.misc.insert(file.misc.end(), explicit_misc.begin(), explicit_misc.end());

    // Raw table entries for broken files, now that the tables have their shape.
    pass = 2;
    for (const SourceLine& l : lines) {
        line = l.number;
        std::string text = trim(l.text);
        for (const char* op : {".memsize", ".reloc", ".xdef", ".xref"}) {
            const size_t n = std::strlen(op);
            if (text.compare(0, n, op) != 0 || (text.size() > n && !std::isspace(static_cast<unsigned char>(text[n])))) {
                continue;
            }
            const std::vector<std::string> a = split_operands(text.substr(n));
            std::vector<int64_t> v;
            for (const std::string& s : a) {
                int64_t x = 0;
                if (!s.empty() && s[0] == '"') {
                    std::string str;
                    parse_string(s, str);
                    x = file.name_index(str);
                } else {
                    number_or_offset(s, x);
                }
                v.push_back(x);
            }
            const auto sec = [&](size_t i) {
                if (v[i] < 0 || v[i] >= count) {
                    error(std::string(op) + ": no section " + std::to_string(v[i]));
                    return false;
                }
                return true;
            };
            if (std::strcmp(op, ".memsize") == 0 && v.size() == 2 && sec(0)) {
                file.sections[static_cast<size_t>(v[0])].memory_size = static_cast<uint32_t>(v[1]);
                file.sections[static_cast<size_t>(v[0])].exact_memory_size = true;
            } else if (std::strcmp(op, ".reloc") == 0 && v.size() == 3 && sec(0) && sec(1)) {
                file.relocs[static_cast<size_t>(v[0])][static_cast<size_t>(v[1])].push_back(static_cast<uint32_t>(v[2]));
            } else if ((std::strcmp(op, ".xdef") == 0 || std::strcmp(op, ".xref") == 0) && v.size() == 3 && sec(0)) {
                auto& table = op[2] == 'd' ? file.xdefs : file.xrefs;
                table[static_cast<size_t>(v[0])].push_back({static_cast<uint32_t>(v[1]), static_cast<uint32_t>(v[2])});
            } else if (v.size() != (std::strcmp(op, ".memsize") == 0 ? 2u : 3u)) {
                error(std::string(op) + " takes " + (std::strcmp(op, ".memsize") == 0 ? "2" : "3") + " operands");
            }
        }
    }
    return Assembly{file, errors, file_overrides};
}

} // namespace

Assembly assemble(const std::string& source, const std::string& name)
{
    Assembler a(name);
    return a.run(source);
}

} // namespace kasm
