#include <limits>
#include <type_traits>

#include "common/strict_json.h"

namespace qz::strict_json {

namespace {

using json = nlohmann::json;

// How a value is named in a type error, in the words of the reader.
std::string describe(const json& v) {
    switch (v.type()) {
        case json::value_t::null:
            return "null";
        case json::value_t::boolean:
            return std::string("boolean `") + (v.get<bool>() ? "true" : "false") + "`";
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
            return "integer `" + v.dump() + "`";
        case json::value_t::number_float:
            return "floating point `" + v.dump() + "`";
        case json::value_t::string:
            return "string " + v.dump(-1, ' ', false, json::error_handler_t::replace);
        case json::value_t::array:
            return "sequence";
        case json::value_t::object:
            return "map";
        default:
            return "value";
    }
}

// The integer as T when it is one and fits.
template <class T>
std::optional<T> fitting(const json& v) {
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<T>::max())) return std::nullopt;
        return static_cast<T>(u);
    }
    if constexpr (std::is_signed_v<T>) {
        // A negative integer (non-negative ones are read as unsigned).
        if (v.is_number_integer()) return static_cast<T>(v.get<int64_t>());
    }
    return std::nullopt;
}

}  // namespace

bool Reader::fail(const std::string& message, size_t offset) {
    if (error_.empty()) error_ = message + " at " + position_text(text_, offset);
    return false;
}

bool Reader::type_error(const Path& path, const json& v, const std::string& expected) {
    return fail("invalid type: " + describe(v) + ", expected " + expected, end_of(path));
}

bool Reader::expect_object(const Path& path, const json& v, const std::string& record) {
    if (v.is_object()) return true;
    return type_error(path, v, record);
}

bool Reader::expect_array(const Path& path, const json& v) {
    if (v.is_array()) return true;
    return type_error(path, v, "a sequence");
}

std::optional<std::pair<std::string, size_t>> Reader::repeated_key(const Path& path,
                                                                   std::initializer_list<const char*> names) const {
    auto it = doc_.duplicates.find(path);
    if (it == doc_.duplicates.end()) return std::nullopt;
    for (const auto& [key, offset] : it->second) {
        if (names.size() == 0) return std::make_pair(key, offset);
        for (const char* n : names) {
            if (key == n) return std::make_pair(key, offset);
        }
    }
    return std::nullopt;
}

bool Fields::no_duplicates(std::initializer_list<const char*> names) {
    auto repeated = r_.repeated_key(path_, names);
    if (!repeated) return true;
    return r_.fail("duplicate field `" + repeated->first + "`", repeated->second);
}

const json* Fields::find(const char* key, bool null_is_absent) const {
    auto it = obj_.find(key);
    if (it == obj_.end() || (null_is_absent && it->is_null())) return nullptr;
    return &*it;
}

const json* Fields::find_required(const char* key) {
    const json* v = find(key, false);
    if (v == nullptr && missing_.empty()) missing_ = key;
    return v;
}

Path Fields::child(const std::string& key) const {
    Path p = path_;
    p.push_back(key);
    return p;
}

template <class T>
bool Fields::integer(const char* key, const json& v, const char* type, T& out) {
    if (!v.is_number_integer()) return r_.type_error(child(key), v, type);
    auto value = fitting<T>(v);
    if (!value) return r_.fail("invalid value: " + describe(v) + ", expected " + type, r_.end_of(child(key)));
    out = *value;
    return true;
}

bool Fields::required(const char* key, std::string& out) {
    const json* v = find_required(key);
    if (v == nullptr) return true;
    if (!v->is_string()) return r_.type_error(child(key), *v, "a string");
    out = v->get<std::string>();
    return true;
}

bool Fields::required(const char* key, uint32_t& out) {
    const json* v = find_required(key);
    return v == nullptr || integer(key, *v, "u32", out);
}

bool Fields::required(const char* key, int64_t& out) {
    const json* v = find_required(key);
    return v == nullptr || integer(key, *v, "i64", out);
}

bool Fields::required(const char* key, uint64_t& out) {
    const json* v = find_required(key);
    return v == nullptr || integer(key, *v, "u64", out);
}

bool Fields::optional(const char* key, std::optional<std::string>& out, Null null) {
    const json* v = find(key, null == Null::Absent);
    if (v == nullptr) return true;
    if (!v->is_string()) return r_.type_error(child(key), *v, "a string");
    out = v->get<std::string>();
    return true;
}

bool Fields::optional(const char* key, std::optional<uint32_t>& out, Null null) {
    const json* v = find(key, null == Null::Absent);
    if (v == nullptr) return true;
    uint32_t value = 0;
    if (!integer(key, *v, "u32", value)) return false;
    out = value;
    return true;
}

bool Fields::optional(const char* key, std::optional<float>& out, Null null) {
    const json* v = find(key, null == Null::Absent);
    if (v == nullptr) return true;
    if (!v->is_number()) return r_.type_error(child(key), *v, "f32");
    out = v->get<float>();
    return true;
}

bool Fields::raw(const char* key, std::optional<std::string>& out) {
    const json* v = find(key, true);
    if (v != nullptr) out = v->dump(-1, ' ', false, json::error_handler_t::replace);
    return true;
}

bool Fields::optional_array(const char* key, const json*& out) {
    out = find(key, true);
    return out == nullptr || r_.expect_array(child(key), *out);
}

bool Fields::finish() {
    if (missing_.empty()) return true;
    return r_.fail("missing field `" + missing_ + "`", r_.end_of(path_));
}

}  // namespace qz::strict_json
