#pragma once
// The little JSON the kit writes and reads back: its run summaries.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarnvex::kit {

// A JSON text of a string, with the escapes JSON needs.
std::string json_string(const std::string& s);
// A number that reads back to the same double (17 significant digits), null when it is
// not finite.
std::string json_number(double v);

// A parsed JSON value.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    // The member `key` of an object; a null value when there is none.
    const Json& operator[](const std::string& key) const;
    bool is_null() const { return kind == Kind::Null; }
};

// Parses a whole JSON text; UsageError naming the place when it is not one.
Json parse_json(const std::string& text);

}  // namespace tarnvex::kit
