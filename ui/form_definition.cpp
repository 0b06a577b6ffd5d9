#include "ui/form_definition.h"

#include <cctype>
#include <limits>

namespace ui {

FormDefinitionError::FormDefinitionError(std::string source, int line, int column, std::string what)
    : pq::EFormError(source + ", line " + std::to_string(line) + ", column " +
                     std::to_string(column) + ": " + what),
      source_(std::move(source)),
      line_(line),
      column_(column),
      what_(std::move(what)) {}

const char* TypeDescription(PropertyValue::Type type) {
    switch (type) {
        case PropertyValue::Type::Integer:
            return "an integer";
        case PropertyValue::Type::String:
            return "a string";
        case PropertyValue::Type::Boolean:
            return "a boolean";
        case PropertyValue::Type::Identifier:
            return "an identifier";
        case PropertyValue::Type::StringList:
            return "a list of strings";
        case PropertyValue::Type::Set:
            return "a set";
    }
    return "a value";
}

const PropertyNode* FormNode::Find(std::string_view propertyName) const {
    for (const auto& p : properties)
        if (p.name == propertyName) return &p;
    return nullptr;
}

namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsIdentStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

struct Token {
    enum class Kind { End, Identifier, Integer, String, Symbol };
    Kind kind = Kind::End;
    std::string text;  // identifier, string contents, symbol character
    int64_t integer = 0;
    int line = 1;
    int column = 1;
};

// Splits the text into tokens. Positions count lines and characters (code points) from 1.
class Lexer {
  public:
    Lexer(std::string_view text, std::string_view source) : text_(text), source_(source) {}

    const Token& Peek() {
        if (!peeked_) {
            next_ = Read();
            peeked_ = true;
        }
        return next_;
    }
    Token Take() {
        Peek();
        peeked_ = false;
        return next_;
    }
    [[noreturn]] void Fail(int line, int column, std::string what) const {
        throw FormDefinitionError(std::string(source_), line, column, std::move(what));
    }

  private:
    char At(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
    void Advance() {
        char c = text_[pos_++];
        if (c == '\n') {
            ++line_;
            column_ = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++column_;
        }
    }
    void SkipSpaceAndComments() {
        while (pos_ < text_.size()) {
            char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                Advance();
            } else if (c == '/' && At(pos_ + 1) == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') Advance();
            } else {
                break;
            }
        }
    }
    Token Read() {
        if (pos_ == 0 && text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;  // UTF-8 byte order mark
        SkipSpaceAndComments();
        Token t;
        t.line = line_;
        t.column = column_;
        if (pos_ >= text_.size()) return t;
        char c = text_[pos_];
        if (IsIdentStart(c)) {
            t.kind = Token::Kind::Identifier;
            while (pos_ < text_.size()) {
                char d = text_[pos_];
                if (IsIdentChar(d)) {
                    t.text += d;
                    Advance();
                } else if (d == '.' && IsIdentStart(At(pos_ + 1))) {
                    t.text += d;
                    Advance();
                } else {
                    break;
                }
            }
            return t;
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '$' ||
            ((c == '-' || c == '+') &&
             (std::isdigit(static_cast<unsigned char>(At(pos_ + 1))) || At(pos_ + 1) == '$'))) {
            return ReadInteger(t);
        }
        if (c == '\'') return ReadString(t);
        if (c == '=' || c == ':' || c == '(' || c == ')' || c == '[' || c == ']' || c == ',' ||
            c == '+') {
            t.kind = Token::Kind::Symbol;
            t.text = std::string(1, c);
            Advance();
            return t;
        }
        std::string shown;
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xC2 && byte <= 0xF4 &&
            (static_cast<unsigned char>(At(pos_ + 1)) & 0xC0) == 0x80) {
            // Show the whole UTF-8 character.
            size_t end = pos_ + 1;
            while (end < text_.size() && (static_cast<unsigned char>(text_[end]) & 0xC0) == 0x80 &&
                   end - pos_ < 4)
                ++end;
            shown = "character '" + std::string(text_.substr(pos_, end - pos_)) + "'";
        } else if (byte < 0x20 || byte >= 0x7F) {
            shown = "character code " + std::to_string(byte);
        } else {
            shown = "character '" + std::string(1, c) + "'";
        }
        Fail(t.line, t.column, "Unexpected " + shown);
    }
    Token ReadInteger(Token& t) {
        t.kind = Token::Kind::Integer;
        bool negative = false;
        if (text_[pos_] == '-' || text_[pos_] == '+') {
            negative = text_[pos_] == '-';
            Advance();
        }
        int base = 10;
        if (At(pos_) == '$') {
            base = 16;
            Advance();
        }
        // Magnitudes up to 2^63 (for the most negative value).
        uint64_t limit = static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + 1;
        uint64_t value = 0;
        int digits = 0;
        while (pos_ < text_.size()) {
            char d = text_[pos_];
            int v;
            if (d >= '0' && d <= '9')
                v = d - '0';
            else if (base == 16 && d >= 'a' && d <= 'f')
                v = d - 'a' + 10;
            else if (base == 16 && d >= 'A' && d <= 'F')
                v = d - 'A' + 10;
            else
                break;
            if (value > (limit - static_cast<uint64_t>(v)) / static_cast<uint64_t>(base))
                Fail(t.line, t.column, "Integer out of range");
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
            ++digits;
            Advance();
        }
        if (digits == 0) Fail(t.line, t.column, "Expected digits after '$'");
        if (IsIdentChar(At(pos_)))
            Fail(line_, column_,
                 "Unexpected character '" + std::string(1, At(pos_)) + "' in a number");
        if (!negative && value == limit) Fail(t.line, t.column, "Integer out of range");
        t.integer = negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
        return t;
    }
    Token ReadString(Token& t) {
        t.kind = Token::Kind::String;
        Advance();  // opening quote
        for (;;) {
            if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r')
                Fail(t.line, t.column, "Unterminated string");
            char c = text_[pos_];
            if (c == '\'') {
                if (At(pos_ + 1) == '\'') {
                    t.text += '\'';
                    Advance();
                    Advance();
                    continue;
                }
                Advance();
                return t;
            }
            t.text += c;
            Advance();
        }
    }

    std::string_view text_;
    std::string_view source_;
    size_t pos_ = 0;
    int line_ = 1;
    int column_ = 1;
    Token next_;
    bool peeked_ = false;
};

class Parser {
  public:
    Parser(std::string_view text, std::string_view source) : lex_(text, source) {}

    FormNode ParseAll() {
        const Token& first = lex_.Peek();
        if (first.kind == Token::Kind::End)
            lex_.Fail(first.line, first.column, "Empty form definition");
        FormNode root = ParseObject();
        const Token& rest = lex_.Peek();
        if (rest.kind != Token::Kind::End)
            lex_.Fail(rest.line, rest.column, "Text after the end of the top object");
        return root;
    }

  private:
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Token::Kind::End:
                return "the end of the text";
            case Token::Kind::Identifier:
                return "'" + t.text + "'";
            case Token::Kind::Integer:
                return "the number " + std::to_string(t.integer);
            case Token::Kind::String:
                return "a string";
            case Token::Kind::Symbol:
                return "'" + t.text + "'";
        }
        return "?";
    }
    [[noreturn]] void Expected(const Token& t, const std::string& what) {
        lex_.Fail(t.line, t.column, "Expected " + what + ", found " + Describe(t));
    }
    bool IsKeyword(const Token& t, std::string_view word) {
        return t.kind == Token::Kind::Identifier && EqualsNoCase(t.text, word);
    }
    bool IsSymbol(const Token& t, char c) {
        return t.kind == Token::Kind::Symbol && t.text.size() == 1 && t.text[0] == c;
    }
    Token ExpectName(const std::string& what) {
        Token t = lex_.Take();
        if (t.kind != Token::Kind::Identifier || t.text.find('.') != std::string::npos)
            Expected(t, what);
        return t;
    }

    FormNode ParseObject() {
        Token kw = lex_.Take();
        if (!IsKeyword(kw, "object")) Expected(kw, "'object'");
        // Objects nest by recursion: a text of thousands of nested objects must not exhaust
        // the stack.
        if (++depth_ > kMaxDepth) lex_.Fail(kw.line, kw.column, "Objects nested too deeply");
        FormNode node;
        node.line = kw.line;
        node.column = kw.column;
        Token name = ExpectName("an object name");
        node.name = name.text;
        Token colon = lex_.Take();
        if (!IsSymbol(colon, ':')) Expected(colon, "':' after the object name");
        Token kind = ExpectName("a kind name");
        node.kind = kind.text;
        node.kindLine = kind.line;
        node.kindColumn = kind.column;
        for (;;) {
            const Token& t = lex_.Peek();
            if (IsKeyword(t, "end")) {
                lex_.Take();
                --depth_;
                return node;
            }
            if (IsKeyword(t, "object")) {
                node.children.push_back(ParseObject());
                continue;
            }
            if (t.kind == Token::Kind::End)
                lex_.Fail(t.line, t.column, "Missing 'end' of object " + node.name);
            if (t.kind != Token::Kind::Identifier)
                Expected(t, "a property name, 'object' or 'end'");
            node.properties.push_back(ParseProperty());
        }
    }

    PropertyNode ParseProperty() {
        Token name = lex_.Take();
        PropertyNode p;
        p.name = name.text;
        p.line = name.line;
        p.column = name.column;
        Token eq = lex_.Take();
        if (!IsSymbol(eq, '=')) Expected(eq, "'=' after " + name.text);
        p.value = ParseValue();
        return p;
    }

    PropertyValue ParseValue() {
        Token t = lex_.Take();
        PropertyValue v;
        v.line = t.line;
        v.column = t.column;
        switch (t.kind) {
            case Token::Kind::Integer:
                v.type = PropertyValue::Type::Integer;
                v.integer = t.integer;
                return v;
            case Token::Kind::String:
                v.type = PropertyValue::Type::String;
                v.text = ParseConcatenation(t.text);
                return v;
            case Token::Kind::Identifier:
                if (t.text.find('.') != std::string::npos || IsKeyword(t, "end") ||
                    IsKeyword(t, "object"))
                    Expected(t, "a value");
                if (EqualsNoCase(t.text, "true") || EqualsNoCase(t.text, "false")) {
                    v.type = PropertyValue::Type::Boolean;
                    v.boolean = EqualsNoCase(t.text, "true");
                    return v;
                }
                v.type = PropertyValue::Type::Identifier;
                v.text = t.text;
                return v;
            case Token::Kind::Symbol:
                if (IsSymbol(t, '(')) return ParseStringList(v);
                if (IsSymbol(t, '[')) return ParseSet(v);
                break;
            case Token::Kind::End:
                break;
        }
        Expected(t, "a value");
    }

    std::string ParseConcatenation(std::string text) {
        while (IsSymbol(lex_.Peek(), '+')) {
            lex_.Take();
            Token s = lex_.Take();
            if (s.kind != Token::Kind::String) Expected(s, "a string after '+'");
            text += s.text;
        }
        return text;
    }

    PropertyValue ParseStringList(PropertyValue v) {
        v.type = PropertyValue::Type::StringList;
        for (;;) {
            Token t = lex_.Take();
            if (IsSymbol(t, ')')) return v;
            if (t.kind != Token::Kind::String) Expected(t, "a string or ')'");
            v.items.push_back(ParseConcatenation(t.text));
        }
    }

    PropertyValue ParseSet(PropertyValue v) {
        v.type = PropertyValue::Type::Set;
        Token t = lex_.Take();
        if (IsSymbol(t, ']')) return v;
        for (;;) {
            if (t.kind != Token::Kind::Identifier || t.text.find('.') != std::string::npos)
                Expected(t, "an identifier in the set");
            v.items.push_back(t.text);
            Token sep = lex_.Take();
            if (IsSymbol(sep, ']')) return v;
            if (!IsSymbol(sep, ',')) Expected(sep, "',' or ']'");
            t = lex_.Take();
        }
    }

    static constexpr int kMaxDepth = 64;
    Lexer lex_;
    int depth_ = 0;
};

}  // namespace

FormNode ParseFormDefinition(std::string_view text, std::string_view source) {
    return Parser(text, source).ParseAll();
}

}  // namespace ui
