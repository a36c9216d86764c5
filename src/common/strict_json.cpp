#include "common/strict_json.h"

#include <iterator>

namespace qz::strict_json {

namespace {

using json = nlohmann::json;

// Reads like a pointer and remembers how far the JSON lexer has read, so the
// SAX callbacks know the position in the text.
struct CountingIter {
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    const char* p = nullptr;
    const char** seen = nullptr;

    reference operator*() const { return *p; }
    CountingIter& operator++() {
        ++p;
        if (*seen < p) *seen = p;
        return *this;
    }
    CountingIter operator++(int) {
        CountingIter old = *this;
        ++*this;
        return old;
    }
    bool operator==(const CountingIter& o) const { return p == o.p; }
};

// Follows where the next value goes: the path of the innermost open container
// and the key or index the next value gets in it.
class PathTracker {
public:
    size_t depth() const { return frames_.size(); }
    const Path& container_path() const { return path_; }

    void set_key(const std::string& k) { key_ = k; }

    // The segment of the value about to be placed (empty at the top).
    std::string next_segment() {
        if (frames_.empty()) return {};
        Frame& f = frames_.back();
        if (f.is_array) return std::to_string(f.next_index++);
        return key_;
    }
    void open(bool is_array, std::string segment) {
        if (!frames_.empty()) path_.push_back(std::move(segment));
        frames_.push_back({is_array, 0});
    }
    void close() {
        frames_.pop_back();
        if (!frames_.empty()) path_.pop_back();
    }

private:
    struct Frame {
        bool is_array;
        size_t next_index;
    };
    std::vector<Frame> frames_;
    Path path_;
    std::string key_;
};

std::string strip_exception_id(const std::string& what) {
    // "[json.exception.parse_error.101] parse error at ..." -> "parse error at ..."
    if (!what.empty() && what[0] == '[') {
        size_t end = what.find("] ");
        if (end != std::string::npos) return what.substr(end + 2);
    }
    return what;
}

// Builds the document like nlohmann's own DOM reader, and notes repeated keys.
class DomBuilder {
public:
    DomBuilder(Document& doc, const char* begin, const char* const* seen) : doc_(doc), begin_(begin), seen_(seen) {}

    bool null() { return place(nullptr); }
    bool boolean(bool v) { return place(v); }
    bool number_integer(json::number_integer_t v) { return place(v); }
    bool number_unsigned(json::number_unsigned_t v) { return place(v); }
    bool number_float(json::number_float_t v, const std::string&) { return place(v); }
    bool string(std::string& v) { return place(std::move(v)); }
    bool binary(json::binary_t& v) { return place(std::move(v)); }

    bool start_object(std::size_t) { return open(json::value_t::object, false); }
    bool start_array(std::size_t) { return open(json::value_t::array, true); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(std::string& k) {
        json& obj = *stack_.back();
        if (obj.contains(k) && tracker_.depth() <= 3) {
            doc_.duplicates[tracker_.container_path()].emplace_back(k, static_cast<size_t>(*seen_ - begin_));
        }
        tracker_.set_key(k);
        slot_ = &obj[k];
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) {
        error_ = strip_exception_id(ex.what());
        return false;
    }

    const std::string& error() const { return error_; }

private:
    template <class V>
    json* put(V&& v) {
        if (stack_.empty()) {
            doc_.root = json(std::forward<V>(v));
            return &doc_.root;
        }
        if (stack_.back()->is_array()) {
            stack_.back()->emplace_back(std::forward<V>(v));
            return &stack_.back()->back();
        }
        *slot_ = json(std::forward<V>(v));
        return slot_;
    }
    template <class V>
    bool place(V&& v) {
        tracker_.next_segment();
        put(std::forward<V>(v));
        return true;
    }
    bool open(json::value_t type, bool is_array) {
        std::string seg = tracker_.next_segment();
        stack_.push_back(put(type));
        tracker_.open(is_array, std::move(seg));
        return true;
    }
    bool close() {
        stack_.pop_back();
        tracker_.close();
        return true;
    }

    Document& doc_;
    const char* begin_;
    const char* const* seen_;
    std::vector<json*> stack_;
    json* slot_ = nullptr;
    PathTracker tracker_;
    std::string error_;
};

// Reads the text again without building anything and stops when the value at
// the target path is complete.
class Locator {
public:
    Locator(const Path& target, const char* begin, const char* const* seen)
        : target_(target), begin_(begin), seen_(seen) {}

    bool null() { return scalar(false); }
    bool boolean(bool) { return scalar(false); }
    bool number_integer(json::number_integer_t) { return scalar(true); }
    bool number_unsigned(json::number_unsigned_t) { return scalar(true); }
    bool number_float(json::number_float_t, const std::string&) { return scalar(true); }
    bool string(std::string&) { return scalar(false); }
    bool binary(json::binary_t&) { return scalar(false); }
    bool start_object(std::size_t) { return open(false); }
    bool start_array(std::size_t) { return open(true); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }
    bool key(std::string& k) {
        tracker_.set_key(k);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

    size_t found() const { return found_; }

private:
    size_t here() const { return static_cast<size_t>(*seen_ - begin_); }
    bool is_target(const std::string& seg) const {
        const Path& p = tracker_.container_path();
        if (tracker_.depth() == 0) return target_.empty();
        if (p.size() + 1 != target_.size() || target_.back() != seg) return false;
        return std::equal(p.begin(), p.end(), target_.begin());
    }
    bool scalar(bool number) {
        std::string seg = tracker_.next_segment();
        if (!is_target(seg)) return true;
        // The lexer reads one character past a number to see where it ends.
        found_ = here() - (number && here() > 0 ? 1 : 0);
        return false;
    }
    bool open(bool is_array) {
        std::string seg = tracker_.next_segment();
        tracker_.open(is_array, std::move(seg));
        return true;
    }
    bool close() {
        bool hit = tracker_.container_path() == target_;
        tracker_.close();
        if (!hit) return true;
        found_ = here();
        return false;
    }

    const Path& target_;
    const char* begin_;
    const char* const* seen_;
    PathTracker tracker_;
    size_t found_ = std::string::npos;
};

}  // namespace

std::variant<Document, std::string> parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        return std::string("syntax error: byte order mark before the value at line 1 column 1");
    }
    Document doc;
    const char* seen = text.data();
    CountingIter first{text.data(), &seen};
    CountingIter last{text.data() + text.size(), &seen};
    DomBuilder builder(doc, text.data(), &seen);
    bool ok = json::sax_parse(first, last, &builder, nlohmann::detail::input_format_t::json, true, false);
    if (!ok) return builder.error().empty() ? std::string("invalid JSON") : builder.error();
    return doc;
}

size_t end_offset(std::string_view text, const Path& path) {
    const char* seen = text.data();
    CountingIter first{text.data(), &seen};
    CountingIter last{text.data() + text.size(), &seen};
    Locator locator(path, text.data(), &seen);
    json::sax_parse(first, last, &locator, nlohmann::detail::input_format_t::json, true, false);
    return locator.found() == std::string::npos ? text.size() : locator.found();
}

std::string position_text(std::string_view text, size_t offset) {
    if (offset > text.size()) offset = text.size();
    size_t line = 1;
    size_t line_start = 0;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            line_start = i + 1;
        }
    }
    return "line " + std::to_string(line) + " column " + std::to_string(offset - line_start);
}

}  // namespace qz::strict_json
