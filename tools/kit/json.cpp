#include "kit/json.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "kit/options.hpp"

namespace tarnvex::kit {

std::string json_string(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string json_number(double v) {
    if (!std::isfinite(v)) return "null";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

const Json& Json::operator[](const std::string& key) const {
    static const Json null;
    const auto it = object.find(key);
    return it == object.end() ? null : it->second;
}

namespace {

class Parser {
  public:
    explicit Parser(const std::string& text) : t_(text) {}

    Json document() {
        Json v = value();
        blanks();
        if (p_ != t_.size()) fail("text after the value");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) const {
        throw UsageError("not a summary (JSON): " + what + " at character " +
                         std::to_string(p_ + 1));
    }
    void blanks() {
        while (p_ < t_.size() &&
               (t_[p_] == ' ' || t_[p_] == '\n' || t_[p_] == '\r' || t_[p_] == '\t'))
            ++p_;
    }
    bool take(char c) {
        blanks();
        if (p_ < t_.size() && t_[p_] == c) {
            ++p_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!take(c)) fail(std::string("'") + c + "' expected");
    }
    bool word(const char* w) {
        const std::string s(w);
        if (t_.compare(p_, s.size(), s) != 0) return false;
        p_ += s.size();
        return true;
    }
    std::string string() {
        expect('"');
        std::string s;
        while (p_ < t_.size() && t_[p_] != '"') {
            char c = t_[p_++];
            if (c == '\\') {
                if (p_ >= t_.size()) fail("an unfinished escape");
                c = t_[p_++];
                switch (c) {
                    case 'n':
                        c = '\n';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    case 'u': {
                        if (p_ + 4 > t_.size()) fail("an unfinished escape");
                        c = static_cast<char>(std::strtol(t_.substr(p_, 4).c_str(), nullptr, 16));
                        p_ += 4;
                        break;
                    }
                    default:
                        break;  // \" \\ \/ stand for themselves
                }
            }
            s += c;
        }
        expect('"');
        return s;
    }
    Json value() {
        blanks();
        if (p_ >= t_.size()) fail("a value expected");
        Json v;
        const char c = t_[p_];
        if (c == '{') {
            ++p_;
            v.kind = Json::Kind::Object;
            if (take('}')) return v;
            do {
                blanks();
                const std::string key = string();
                expect(':');
                v.object[key] = value();
            } while (take(','));
            expect('}');
        } else if (c == '[') {
            ++p_;
            v.kind = Json::Kind::Array;
            if (take(']')) return v;
            do {
                v.array.push_back(value());
            } while (take(','));
            expect(']');
        } else if (c == '"') {
            v.kind = Json::Kind::String;
            v.string = string();
        } else if (word("true")) {
            v.kind = Json::Kind::Bool;
            v.boolean = true;
        } else if (word("false")) {
            v.kind = Json::Kind::Bool;
        } else if (word("null")) {
            v.kind = Json::Kind::Null;
        } else {
            char* end = nullptr;
            v.number = std::strtod(t_.c_str() + p_, &end);
            if (end == t_.c_str() + p_) fail("a value expected");
            v.kind = Json::Kind::Number;
            p_ = static_cast<std::size_t>(end - t_.c_str());
        }
        return v;
    }

    const std::string& t_;
    std::size_t p_ = 0;
};

}  // namespace

Json parse_json(const std::string& text) {
    return Parser(text).document();
}

}  // namespace tarnvex::kit
