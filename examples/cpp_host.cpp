// A C++ host: JSON questions, a string builder, a string map, the failure
// boundary and arena mode through zel.hpp. Built without exceptions or RTTI.
//   ./build/examples/cpp_host
#include <cstdio>
#include <string_view>

#include <zel.hpp>

namespace {

// fwrite, not "%.*s": an empty view may carry a null pointer, which printf must not be given.
void line(std::string_view label, std::string_view value) {
    std::fwrite(label.data(), 1, label.size(), stdout);
    std::fputs(": ", stdout);
    std::fwrite(value.data(), 1, value.size(), stdout);
    std::fputc('\n', stdout);
}

void line(std::string_view label, int64_t value) {
    std::printf("%.*s: %ld\n", static_cast<int>(label.size()), label.data(), static_cast<long>(value));
}

// A small array laid out as the library expects: two header words, then the elements.
struct Array3 {
    ZelArray header;
    int64_t items[3];
};

}  // namespace

int main() {
    constexpr std::string_view doc = R"({"name":"ZEL","version":97,"tags":["json","fast"],"stable":true})";

    // JSON questions: the document is passed as it stands, without a copy.
    line("valid", zel::json::validate(doc) ? "yes" : "no");
    line("type", zel::json::type(doc).view());
    line("name", zel::json::get(doc, "name").view());
    line("name as text", zel::json::get_string(doc, "name").view());
    line("version", zel::json::get_number(doc, "version"));
    std::optional<bool> stable = zel::json::get_bool(doc, "stable");
    line("stable", !stable ? "absent" : *stable ? "true" : "false");
    zel::String tags = zel::json::get(doc, "tags");
    line("tags", tags.view());
    line("second tag", zel::json::array_get(tags, 1).view());
    line("has license", zel::json::has_key(doc, "license") ? "yes" : "no");
    line("values at the top", zel::json::count(doc));

    // A string builder, copied out into a library string.
    zel::Builder sb = zel::Builder::make();
    sb.push("name=").push(zel::json::get_string(doc, "name")).push_char(';');
    sb.push(" version=").push_int(zel::json::get_number(doc, "version")).push_char(';');
    sb.push(" quoted=").push_escaped("say \"hi\"");
    zel::String built = sb.build();
    line("built", built.view());
    line("built length", built.size());

    // A string map counting words; its keys are copies, so views into the text do.
    constexpr std::string_view text = "to be or not to be";
    zel::StrMap words = zel::StrMap::make();
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(start, end - start);
        words.insert(word, words.find(word).value_or(0) + 1);
        start = end + 1;
    }
    line("distinct words", words.size());
    for (std::string_view w : {"to", "be", "or", "not", "maybe"}) {
        std::printf("  %.*s x %ld\n", static_cast<int>(w.size()), w.data(), static_cast<long>(words.find(w).value_or(0)));
    }

    // The failure boundary: an out-of-bounds read comes back as an error text.
    Array3 small{{3, 3}, {10, 20, 30}};
    for (int64_t index : {2, 3, -1}) {
        zel::Result<int64_t> r = zel::guarded([&] { return zel_array_get_safe(&small.header, index); });
        if (r.ok()) {
            std::printf("element %ld: %ld\n", static_cast<long>(index), static_cast<long>(r.value()));
        } else {
            std::printf("element %ld failed: %.*s\n", static_cast<long>(index), static_cast<int>(r.error().size()),
                        r.error().data());
        }
    }
    zel::Result<void> checked = zel::guarded([] { zel_assert(0); });
    line("assertion", checked.ok() ? "held" : checked.error());

    // Arena mode: strings made in the scope go with it, not one by one.
    {
        zel::ArenaScope arena;
        int64_t total = 0;
        for (int i = 0; i < 100; ++i) total += zel::json::stringify(doc).size();
        line("arena mode in the scope", zel::arena_on() ? "on" : "off");
        line("bytes stringified", total);
        line("arena holds", static_cast<int64_t>(arena.usage()));
    }
    line("arena mode after it", zel::arena_on() ? "on" : "off");
    line("arena holds afterwards", static_cast<int64_t>(zel_arena_usage()));
    return 0;
}
