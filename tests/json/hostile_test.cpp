// Documents far beyond what the tape can address: every host function answers
// a 50 MB document, and 100,000 levels of nesting, in one pass and exactly.
#include <string>

#include "support.h"

namespace {

ZelString view(const std::string &s) { return {const_cast<char *>(s.data()), static_cast<int64_t>(s.size()), 0}; }
std::string take(ZelString *s) {
    std::string b = zt::str(s);
    zel_string_free(s);
    return b;
}

// ThreadSanitizer makes each pass over 50 MB take seconds; 5 MB already lies
// far beyond the tape's reach.
#if defined(__SANITIZE_THREAD__)
constexpr size_t kLarge = 5u << 20;
#else
constexpr size_t kLarge = 50u << 20;
#endif

TEST(Hostile, FiftyMegabyteDocumentsAnswerEveryQuestion) {
    const std::string record = "{\"id\":12345,\"name\":\"a \\\"quoted\\\" name\",\"tags\":[true,false,null]},\n";
    std::string doc = "[", compact = "[";
    int64_t records = 0;
    for (; doc.size() < kLarge; ++records) {
        doc += record;
        compact += record.substr(0, record.size() - 1);
    }
    doc.resize(doc.size() - 2);  // the last ",\n"
    compact.pop_back();
    doc += "]";
    compact += "]";
    ZelString d = view(doc);
    EXPECT_EQ(zel_json_validate(&d), 1);
    EXPECT_EQ(zel_json_array_len(&d), records);
    EXPECT_EQ(zel_json_count(&d), records + 1);
    EXPECT_EQ(take(zel_json_array_get(&d, static_cast<int32_t>(records - 1))), record.substr(0, record.size() - 2));
    EXPECT_EQ(take(zel_json_stringify(&d)), compact);

    // One member holding a 50 MB string, then the one asked for.
    std::string big(kLarge, 'x');
    big[12345] = '\n';
    std::string obj = "{\"big\":\"" + std::string(big).replace(12345, 1, "\\n") + "\",\"k\":7}";
    ZelString o = view(obj);
    std::string k = "k", b = "big";
    ZelString kk = view(k), bk = view(b);
    EXPECT_EQ(zel_json_get_number(&o, &kk), 7);
    EXPECT_EQ(take(zel_json_get_string(&o, &bk)), big);
    EXPECT_EQ(zel_json_object_len(&o), 2);
}

TEST(Hostile, HundredThousandLevelsOfNesting) {
    // Past 1024 open containers a value reads as null and consumes nothing,
    // so the deep tail closes no container and the document does not validate.
    const int depth = 100000;
    std::string deep = std::string(depth, '[') + "1" + std::string(depth, ']');
    ZelString d = view(deep);
    EXPECT_EQ(zel_json_validate(&d), 0);
    EXPECT_EQ(zel_json_array_len(&d), 1);
    EXPECT_EQ(take(zel_json_stringify(&d)), std::string(1024, '[') + "null" + std::string(1024, ']'));
    std::string objects;
    for (int i = 0; i < depth; ++i) objects += "{\"a\":";
    objects += "1" + std::string(depth, '}');
    ZelString o = view(objects);
    std::string a = "a";
    ZelString ak = view(a);
    EXPECT_EQ(zel_json_validate(&o), 0);
    EXPECT_EQ(zel_json_has_key(&o, &ak), 1);
    EXPECT_EQ(zel_json_get_number(&o, &ak), 0);  // an object, not a number
}

}  // namespace
