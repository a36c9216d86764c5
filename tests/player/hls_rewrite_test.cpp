// The proxy's URL coding and playlist rewriting, as tables of texts.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "player/hls_rewrite.h"

namespace qz {
namespace {

constexpr uint16_t PORT = 8989;
constexpr std::string_view PROXY_ORIGIN = "http://127.0.0.1:8989";
constexpr std::string_view UNRESERVED = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~";
constexpr std::string_view UPPER_HEX = "0123456789ABCDEF";

// The request path the player sends for a proxied reference.
std::string path_of(std::string_view reference, std::string_view origin = PROXY_ORIGIN) {
    EXPECT_TRUE(reference.starts_with(origin)) << reference;
    return std::string(reference.substr(origin.size()));
}

// --- Percent coding ---------------------------------------------------------

TEST(PercentCoding, EveryByteRoundTripsAndOnlyUnreservedBytesStay) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        all += one;
        const std::string enc = percent_encode(one);
        if (UNRESERVED.find(one[0]) != std::string_view::npos) {
            EXPECT_EQ(enc, one) << "byte " << b;
        } else {
            ASSERT_EQ(enc.size(), 3u) << "byte " << b;
            EXPECT_EQ(enc[0], '%') << "byte " << b;
            EXPECT_NE(UPPER_HEX.find(enc[1]), std::string_view::npos) << "byte " << b << ": " << enc;
            EXPECT_NE(UPPER_HEX.find(enc[2]), std::string_view::npos) << "byte " << b << ": " << enc;
        }
        EXPECT_EQ(percent_decode(enc), one) << "byte " << b;
    }
    EXPECT_EQ(percent_decode(percent_encode(all)), all);
}

struct CodingCase {
    const char* name;
    std::string in;
    std::string want;
};
void PrintTo(const CodingCase& c, std::ostream* os) { *os << c.name; }

class PercentEncode : public ::testing::TestWithParam<CodingCase> {};
TEST_P(PercentEncode, Encodes) { EXPECT_EQ(percent_encode(GetParam().in), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(Table, PercentEncode,
                         ::testing::Values(CodingCase{"empty", "", ""},
                                           CodingCase{"unreserved", "aZ09-._~", "aZ09-._~"},
                                           CodingCase{"url", "https://h.example/a b?x=1&y=+",
                                                      "https%3A%2F%2Fh.example%2Fa%20b%3Fx%3D1%26y%3D%2B"},
                                           CodingCase{"percent itself", "50%", "50%25"},
                                           CodingCase{"utf8 in upper hex", "\xC3\xA9", "%C3%A9"},
                                           CodingCase{"nul and high bytes", std::string("\0\xFF", 2), "%00%FF"}));

class PercentDecode : public ::testing::TestWithParam<CodingCase> {};
TEST_P(PercentDecode, Decodes) { EXPECT_EQ(percent_decode(GetParam().in), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(Table, PercentDecode,
                         ::testing::Values(CodingCase{"both hex cases", "%41%4a%4A%2f", "AJJ/"},
                                           CodingCase{"trailing %2 kept", "a%2", "a%2"},
                                           CodingCase{"trailing % kept", "a%", "a%"},
                                           CodingCase{"lone %2 kept", "%2", "%2"},
                                           CodingCase{"plus stays plus", "a+b%2B", "a+b+"},
                                           CodingCase{"invalid digits kept", "%zz%G1%1g", "%zz%G1%1g"},
                                           CodingCase{"a sign is not a digit", "%+1%-1% 1", "%+1%-1% 1"},
                                           CodingCase{"invalid escape then a valid one", "%2%41", "%2A"},
                                           CodingCase{"percent before an escape", "%%41", "%A"},
                                           CodingCase{"escaped percent is not decoded twice", "%2541", "%41"},
                                           CodingCase{"nul byte", "a%00b", std::string("a\0b", 3)},
                                           CodingCase{"multibyte after percent", "%\xC3\xA9", "%\xC3\xA9"}));

struct SegmentPathCase {
    const char* name;
    std::string path;
    std::optional<std::string> want;
};
void PrintTo(const SegmentPathCase& c, std::ostream* os) { *os << c.name; }

class SegmentPath : public ::testing::TestWithParam<SegmentPathCase> {};
TEST_P(SegmentPath, Decodes) { EXPECT_EQ(decode_segment_url(GetParam().path), GetParam().want); }
INSTANTIATE_TEST_SUITE_P(
    Table, SegmentPath,
    ::testing::Values(SegmentPathCase{"url", "/segment?url=http%3A%2F%2Fh.example%2Fs.ts", "http://h.example/s.ts"},
                      SegmentPathCase{"trailing %2", "/segment?url=http%3A%2F%2Fh%2Fa%2", "http://h/a%2"},
                      SegmentPathCase{"empty url", "/segment?url=", ""},
                      // Bytes that are not UTF-8 are replaced, never passed on raw.
                      SegmentPathCase{"invalid utf8 replaced", "/segment?url=a%FFb",
                                      "a\xEF\xBF\xBD"
                                      "b"},
                      SegmentPathCase{"playlist path", "/stream.m3u8", std::nullopt},
                      SegmentPathCase{"prefix cut short", "/segment?url", std::nullopt},
                      SegmentPathCase{"other path", "/video", std::nullopt}));

TEST(PercentCoding, ProxiedReferenceComesBackByteForByte) {
    const std::string urls[] = {
        "https://cdn.example/a/b/seg1.ts",
        "http://h.example:8080/p/seg.ts?token=a/b+c%2Fd&exp=1#frag",
        "https://h.example/%E1%BA%A1 space/t\xE1\xBA\xA1p.ts",
        "https://h.example/ends/with%2",
    };
    for (const std::string& url : urls) {
        const std::string ref = proxied_reference(url, PORT);
        EXPECT_EQ(decode_segment_url(path_of(ref)), url) << ref;
    }
    EXPECT_EQ(proxied_reference("http://h.example/a.ts", 40123),
              "http://127.0.0.1:40123/segment?url=http%3A%2F%2Fh.example%2Fa.ts");
}

// --- Playlist rewriting -----------------------------------------------------

constexpr std::string_view PLAYLIST_URL = "https://cdn.example/a/b/index.m3u8";

// The proxied reference the player should see for an upstream URL.
std::string via_proxy(std::string_view url) {
    return std::string(PROXY_ORIGIN) + "/segment?url=" + percent_encode(url);
}

struct RewriteCase {
    const char* name;
    std::string playlist_url;
    std::string text;
    std::string want;
};
void PrintTo(const RewriteCase& c, std::ostream* os) { *os << c.name; }

class RewritePlaylist : public ::testing::TestWithParam<RewriteCase> {};
TEST_P(RewritePlaylist, Rewrites) {
    EXPECT_EQ(rewrite_proxy_playlist(GetParam().text, GetParam().playlist_url, PORT), GetParam().want);
}

const std::string P(PLAYLIST_URL);
INSTANTIATE_TEST_SUITE_P(
    Table, RewritePlaylist,
    ::testing::Values(
        RewriteCase{"spelled out in full", "http://h.example/a/index.m3u8", "seg1.ts",
                    "http://127.0.0.1:8989/segment?url=http%3A%2F%2Fh.example%2Fa%2Fseg1.ts\n"},
        RewriteCase{"empty playlist", P, "", ""},
        RewriteCase{"crlf and blank lines", P, "#EXTM3U\r\n\r\n#EXT-X-VERSION:3\r\n \t \r\n\r\nseg1.ts\r\n\r\n",
                    "#EXTM3U\n#EXT-X-VERSION:3\n" + via_proxy("https://cdn.example/a/b/seg1.ts") + "\n"},
        RewriteCase{"surrounding white space trimmed", P, "  #EXTINF:4.0,  \n\tseg1.ts \n",
                    "#EXTINF:4.0,\n" + via_proxy("https://cdn.example/a/b/seg1.ts") + "\n"},
        RewriteCase{"relative lines against the base", P, "seg1.ts\nhd/seg2.ts\n../up.ts",
                    via_proxy("https://cdn.example/a/b/seg1.ts") + "\n" +
                        via_proxy("https://cdn.example/a/b/hd/seg2.ts") + "\n" +
                        via_proxy("https://cdn.example/a/b/../up.ts") + "\n"},
        RewriteCase{"absolute path against the origin", P, "/x/seg2.ts\n",
                    via_proxy("https://cdn.example/x/seg2.ts") + "\n"},
        RewriteCase{"absolute urls kept", P, "http://other.example/s.ts\nhttps://o.example/t.ts?k=v\n",
                    via_proxy("http://other.example/s.ts") + "\n" + via_proxy("https://o.example/t.ts?k=v") + "\n"},
        RewriteCase{
            "key uri with method kept", P, "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\",IV=0x0102\n",
            "#EXT-X-KEY:METHOD=AES-128,URI=\"" + via_proxy("https://cdn.example/a/b/key.bin") + "\",IV=0x0102\n"},
        RewriteCase{"key uri absolute path", P, "#EXT-X-KEY:METHOD=AES-128,URI=\"/keys/k1\"",
                    "#EXT-X-KEY:METHOD=AES-128,URI=\"" + via_proxy("https://cdn.example/keys/k1") + "\"\n"},
        RewriteCase{"empty uri gives the base", P, "#EXT-X-MAP:URI=\"\"\n",
                    "#EXT-X-MAP:URI=\"" + via_proxy("https://cdn.example/a/b/") + "\"\n"},
        RewriteCase{"only the first uri of a line", P, "#EXT-X-X:URI=\"a.bin\",ALT-URI=\"b.bin\"\n",
                    "#EXT-X-X:URI=\"" + via_proxy("https://cdn.example/a/b/a.bin") + "\",ALT-URI=\"b.bin\"\n"},
        RewriteCase{"unclosed uri copied", P, "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\n",
                    "#EXT-X-KEY:METHOD=AES-128,URI=\"key.bin\n"},
        RewriteCase{"lower-case uri is not an attribute", P, "#EXT-X-KEY:uri=\"key.bin\"\n",
                    "#EXT-X-KEY:uri=\"key.bin\"\n"},
        // A "/" inside a signed query must not move the directory or the host.
        RewriteCase{"query of the playlist url ignored", "https://cdn.example/a/index.m3u8?sig=x/y/z", "s.ts\n/r.ts\n",
                    via_proxy("https://cdn.example/a/s.ts") + "\n" + via_proxy("https://cdn.example/r.ts") + "\n"},
        RewriteCase{"bare host", "http://cdn.example", "s.ts\n/r.ts\n#EXT-X-MAP:URI=\"\"\n",
                    via_proxy("http://cdn.example/s.ts") + "\n" + via_proxy("http://cdn.example/r.ts") +
                        "\n#EXT-X-MAP:URI=\"" + via_proxy("http://cdn.example/") + "\"\n"},
        RewriteCase{"port in the origin", "http://cdn.example:8080/live/x.m3u8", "/s.ts\n",
                    via_proxy("http://cdn.example:8080/s.ts") + "\n"}));

TEST(RewritePlaylistNested, VariantPointsAtNestedPlaylistRewrittenAgainstItsOwnUrl) {
    constexpr uint16_t EPHEMERAL = 40123;
    const std::string origin = "http://127.0.0.1:40123";
    const std::string variant =
        rewrite_proxy_playlist("#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=800000\nv1/prog.m3u8\n", PLAYLIST_URL, EPHEMERAL);
    const size_t stream_inf = variant.find("#EXT-X-STREAM-INF:BANDWIDTH=800000\n");
    ASSERT_NE(stream_inf, std::string::npos) << variant;
    std::string reference =
        variant.substr(stream_inf + std::string_view("#EXT-X-STREAM-INF:BANDWIDTH=800000\n").size());
    ASSERT_TRUE(reference.ends_with('\n')) << variant;
    reference.pop_back();

    const std::string path = path_of(reference, origin);
    EXPECT_TRUE(path.starts_with("/segment?url=")) << path;
    const std::optional<std::string> nested_url = decode_segment_url(path);
    ASSERT_EQ(nested_url, "https://cdn.example/a/b/v1/prog.m3u8");

    const std::string nested = rewrite_proxy_playlist(
        "#EXTM3U\r\n#EXT-X-KEY:METHOD=AES-128,URI=\"k.key\"\r\nseg-0.ts\r\n/root.ts\r\n", *nested_url, EPHEMERAL);
    EXPECT_EQ(nested, "#EXTM3U\n#EXT-X-KEY:METHOD=AES-128,URI=\"" + origin +
                          "/segment?url=" + percent_encode("https://cdn.example/a/b/v1/k.key") + "\"\n" + origin +
                          "/segment?url=" + percent_encode("https://cdn.example/a/b/v1/seg-0.ts") + "\n" + origin +
                          "/segment?url=" + percent_encode("https://cdn.example/root.ts") + "\n");
}

}  // namespace
}  // namespace qz
