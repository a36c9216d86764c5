#include "common/strict_json.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <type_traits>
#include <ostream>
#include <string>
#include <variant>

namespace qz {
namespace {

using strict_json::Fields;
using strict_json::Null;

// The getters of one record, written as {"n": ...}: every case reads key "n"
// with one getter and states the value it gives as text, or the error.
struct Shown {
    std::string text;
};
using Getter = std::function<bool(Fields&, Shown&)>;

template <class T>
std::string text_of(const T& v) {
    if constexpr (std::is_same_v<T, std::string>) {
        return v;
    } else {
        return std::to_string(v);
    }
}

template <class T>
Getter required() {
    return [](Fields& f, Shown& shown) {
        T v{};
        if (!f.required("n", v) || !f.finish()) return false;
        shown.text = text_of(v);
        return true;
    };
}

template <class T>
Getter optional(Null null = Null::Absent) {
    return [null](Fields& f, Shown& shown) {
        std::optional<T> v;
        if (!f.optional("n", v, null) || !f.finish()) return false;
        shown.text = v ? text_of(*v) : "absent";
        return true;
    };
}

struct GetterCase {
    const char* name;
    std::string value;  // the JSON text after "n":, empty for no key at all
    Getter get;
    std::string expected;  // the value as text, or the error text
};

void PrintTo(const GetterCase& c, std::ostream* os) { *os << c.name; }

std::string read(const GetterCase& c) {
    const std::string doc = c.value.empty() ? "{}" : "{\"n\": " + c.value + "}";
    auto result = strict_json::read_document<Shown>(doc, [&](strict_json::Reader& r, const auto& root, Shown& shown) {
        if (!r.expect_object({}, root, "struct T")) return false;
        Fields f(r, root, {});
        return c.get(f, shown);
    });
    if (auto* e = std::get_if<std::string>(&result)) return *e;
    return std::get<Shown>(result).text;
}

class FieldGetters : public ::testing::TestWithParam<GetterCase> {};

TEST_P(FieldGetters, ReadOrNameTheProblem) { EXPECT_EQ(read(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    StrictJson, FieldGetters,
    ::testing::Values(
        GetterCase{"StringMissing", "", required<std::string>(), "missing field `n` at line 1 column 2"},
        GetterCase{"StringNull", "null", required<std::string>(),
                   "invalid type: null, expected a string at line 1 column 10"},
        GetterCase{"U32Max", "4294967295", required<uint32_t>(), "4294967295"},
        GetterCase{"U32Over", "4294967296", required<uint32_t>(),
                   "invalid value: integer `4294967296`, expected u32 at line 1 column 16"},
        GetterCase{"U32Fraction", "1.0", required<uint32_t>(),
                   "invalid type: floating point `1.0`, expected u32 at line 1 column 9"},
        GetterCase{"I64Negative", "-9223372036854775808", required<int64_t>(), "-9223372036854775808"},
        GetterCase{"I64Over", "9223372036854775808", required<int64_t>(),
                   "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 25"},
        GetterCase{"I64String", "\"5\"", required<int64_t>(),
                   "invalid type: string \"5\", expected i64 at line 1 column 9"},
        GetterCase{"U64Max", "18446744073709551615", required<uint64_t>(), "18446744073709551615"},
        GetterCase{"U64Negative", "-1", required<uint64_t>(),
                   "invalid value: integer `-1`, expected u64 at line 1 column 8"},
        GetterCase{"OptionalNullIsAbsent", "null", optional<std::string>(), "absent"},
        GetterCase{"OptionalNullRefused", "null", optional<std::string>(Null::Invalid),
                   "invalid type: null, expected a string at line 1 column 10"},
        GetterCase{"OptionalMissing", "", optional<uint32_t>(Null::Invalid), "absent"},
        GetterCase{"FloatFromInteger", "12", optional<float>(), "12.000000"},
        GetterCase{"FloatBoolean", "true", optional<float>(),
                   "invalid type: boolean `true`, expected f32 at line 1 column 10"}),
    [](const auto& info) { return std::string(info.param.name); });

// Reads {"a": ..., ...} with no_duplicates over names (all keys when empty).
std::string duplicates_error(const std::string& doc, std::initializer_list<const char*> names) {
    auto result = strict_json::read_document<int>(doc, [&](strict_json::Reader& r, const auto& root, int&) {
        Fields f(r, root, {});
        return f.no_duplicates(names);
    });
    if (auto* e = std::get_if<std::string>(&result)) return *e;
    return "";
}

TEST(StrictJson, RepeatedKeysFailOnlyWhenTheyAreAsked) {
    const std::string doc = R"({"x": 1, "a": 2, "x": 3, "a": 4})";
    EXPECT_EQ(duplicates_error(doc, {"a"}), "duplicate field `a` at line 1 column 28");
    EXPECT_EQ(duplicates_error(doc, {}), "duplicate field `x` at line 1 column 20");
    EXPECT_EQ(duplicates_error(doc, {"b"}), "");
    // Nested objects have their own keys.
    EXPECT_EQ(duplicates_error(R"({"o": {"a": 1, "a": 2}, "a": 3})", {}), "");
}

TEST(StrictJson, ByteOrderMarkIsSkippedOnlyWhenAllowed) {
    const std::string doc = "\xEF\xBB\xBF{\"n\": \"v\"}";
    auto get = [](strict_json::Reader& r, const auto& root, Shown& out) {
        Fields f(r, root, {});
        return f.required("n", out.text) && f.finish();
    };
    auto skipped = strict_json::read_document<Shown>(doc, get, strict_json::ByteOrderMark::Skip);
    ASSERT_TRUE(std::holds_alternative<Shown>(skipped));
    EXPECT_EQ(std::get<Shown>(skipped).text, "v");
    auto rejected = strict_json::read_document<Shown>(doc, get);
    ASSERT_TRUE(std::holds_alternative<std::string>(rejected));
    EXPECT_EQ(std::get<std::string>(rejected), "syntax error: byte order mark before the value at line 1 column 1");
}

}  // namespace
}  // namespace qz
