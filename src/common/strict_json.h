#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qz::strict_json {

// Where a value sits in a document: object keys and array indices (decimal)
// from the top.
using Path = std::vector<std::string>;

struct Document {
    nlohmann::json root;
    // Keys that occurred more than once in one object, with the offset just
    // after the repeated key, for objects at most two levels deep (where the
    // records sit). The value of the last occurrence is the one kept.
    std::map<Path, std::vector<std::pair<std::string, size_t>>> duplicates;
};

// Exactly one JSON value, white space around it allowed, nothing else (no
// byte order mark, no second value). The error is the reader's description
// with line and column.
std::variant<Document, std::string> parse(std::string_view text);

// Offset just after the value at path (after the closing bracket for
// containers), found by reading the text again; text.size() when not found.
size_t end_offset(std::string_view text, const Path& path);

// "line L column C" of the byte before offset (1-based).
std::string position_text(std::string_view text, size_t offset);

// Reads values out of one parsed document. The first problem found becomes
// the error text, "<what> at line L column C", in the words of the record
// readers ("missing field `slug` at line 1 column 80").
class Reader {
public:
    Reader(std::string_view text, const Document& doc) : text_(text), doc_(doc) {}

    const std::string& error() const { return error_; }

    // Keeps the first error only; always false, so a failed read can return it.
    bool fail(const std::string& message, size_t offset);
    // A value of the wrong kind at path; expected names the kind ("a string").
    bool type_error(const Path& path, const nlohmann::json& v, const std::string& expected);
    bool expect_object(const Path& path, const nlohmann::json& v, const std::string& record);  // "struct X"
    bool expect_array(const Path& path, const nlohmann::json& v);

    // Calls fn(element, element_path, index) for each element of an array at
    // path, stopping at the first false.
    template <class Fn>
    bool elements(const Path& path, const nlohmann::json& array, Fn fn) {
        for (size_t i = 0; i < array.size(); ++i) {
            Path element_path = path;
            element_path.push_back(std::to_string(i));
            if (!fn(array[i], element_path, i)) return false;
        }
        return true;
    }

    // The first key that occurred twice in the object at path (only among
    // names, when given), with the offset just after the repetition.
    std::optional<std::pair<std::string, size_t>> repeated_key(const Path& path,
                                                               std::initializer_list<const char*> names = {}) const;

    // Offset just after the value at path.
    size_t end_of(const Path& path) const { return end_offset(text_, path); }

private:
    std::string_view text_;
    const Document& doc_;
    std::string error_;
};

// What an optional key may hold besides a value of its type.
enum class Null {
    Absent,  // null reads like an absent key
    Invalid  // null is a value of the wrong type
};

// The fields of one object: call the getters, then finish(). A getter is
// false once the object has failed. Required keys that are absent are
// reported by finish(), after every type check, at the end of the object.
// Integers must be written without a fraction and fit the target type.
class Fields {
public:
    Fields(Reader& r, const nlohmann::json& obj, Path path) : r_(r), obj_(obj), path_(std::move(path)) {}

    // No key twice in this object (only among names, when given).
    bool no_duplicates(std::initializer_list<const char*> names = {});

    bool required(const char* key, std::string& out);
    bool required(const char* key, uint32_t& out);
    bool required(const char* key, int64_t& out);
    bool required(const char* key, uint64_t& out);

    bool optional(const char* key, std::optional<std::string>& out, Null null = Null::Absent);
    bool optional(const char* key, std::optional<uint32_t>& out, Null null = Null::Absent);
    // Any number, fractions included.
    bool optional(const char* key, std::optional<float>& out, Null null = Null::Absent);
    // Any value but null, kept as its compact JSON text.
    bool raw(const char* key, std::optional<std::string>& out);
    // The array at key; nullptr when it is absent or null.
    bool optional_array(const char* key, const nlohmann::json*& out);

    Path child(const std::string& key) const;
    bool finish();

private:
    // The value at key, nullptr when absent (and when null if null_is_absent).
    const nlohmann::json* find(const char* key, bool null_is_absent) const;
    // The value at a required key; nullptr when absent (noted for finish()).
    const nlohmann::json* find_required(const char* key);
    template <class T>
    bool integer(const char* key, const nlohmann::json& v, const char* type, T& out);

    Reader& r_;
    const nlohmann::json& obj_;
    Path path_;
    std::string missing_;
};

// Whether a UTF-8 byte order mark may stand before the value.
enum class ByteOrderMark { Reject, Skip };

// Parses text and reads its root with fn(reader, root, value): the value, or
// the parse error or the first problem fn found.
template <class T, class Fn>
std::variant<T, std::string> read_document(std::string_view text, Fn fn, ByteOrderMark bom = ByteOrderMark::Reject) {
    if (bom == ByteOrderMark::Skip && text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    auto parsed = parse(text);
    if (auto* e = std::get_if<std::string>(&parsed)) return std::move(*e);
    const auto& doc = std::get<Document>(parsed);
    Reader reader(text, doc);
    T value{};
    if (!fn(reader, doc.root, value)) return reader.error();
    return value;
}

}  // namespace qz::strict_json
