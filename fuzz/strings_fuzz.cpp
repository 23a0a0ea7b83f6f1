// The string record's operations and the transformations text_fuzz leaves
// out (construction, concatenation, access, comparison, hashing, slicing,
// prefix and suffix tests, substr, the trim halves, case mapping, reversal,
// both pad families), each checked against a direct reference, with null
// records and records without data among the arguments, in either allocation
// mode.
#include <vector>

#include "fuzz_support.h"

namespace {

using fz::take;
using fz::upto_nul;

// A record argument: its text, or absent (a null pointer or a null data).
struct Arg {
    ZelString *s;
    std::string t;
    bool valid() const { return s != nullptr && s->data != nullptr; }
};

ZelString g_no_data{nullptr, 0, 0};

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// A result that may be the argument itself: `same` says whether it must be.
void expect_result(ZelString *r, const Arg &a, bool same, const std::string &want) {
    if (same) {
        FUZZ_CHECK(r == a.s);
        return;
    }
    FUZZ_CHECK(r != a.s);
    FUZZ_CHECK(take(r) == want);
}

void core(const Arg &a, const Arg &b, int64_t i, int64_t j, int64_t count) {
    const std::string &x = a.t, &y = b.t;
    const int64_t n = static_cast<int64_t>(x.size());
    // Concatenation: the pair refuses an absent operand, the longer forms read it as empty.
    FUZZ_CHECK(take(zel_string_concat(a.s, b.s)) == (a.valid() && b.valid() ? x + y : ""));
    FUZZ_CHECK(take(zel_string_concat3(a.s, b.s, a.s)) == x + y + x);
    FUZZ_CHECK(take(zel_string_concat5(b.s, a.s, nullptr, a.s, b.s)) == y + x + x + y);
    FUZZ_CHECK(take(zel_string_concat7(a.s, a.s, b.s, &g_no_data, b.s, a.s, nullptr)) == x + x + y + y + x);
    // Repetition is measured up to the first NUL.
    std::string rep;
    for (int64_t k = 0; k < count; ++k) rep += x;
    FUZZ_CHECK(take(zel_string_repeat(a.s, count)) == upto_nul(rep));
    // Access.
    FUZZ_CHECK(zel_string_len(a.s) == (a.s ? a.s->len : 0) && len(a.s) == zel_string_len(a.s));
    FUZZ_CHECK(zel_string_is_empty(a.s) == (a.s == nullptr || a.s->len == 0 ? 1 : 0));
    const int64_t at = (a.valid() && i >= 0 && i < n) ? static_cast<uint8_t>(x[static_cast<size_t>(i)]) : 0;
    FUZZ_CHECK(zel_string_char_at(a.s, i) == at && char_at(a.s, i) == at);
    FUZZ_CHECK(zel_str_byte_at(a.s, i) == at && byte_at(a.s, i) == at);
    FUZZ_CHECK(take(zel_str_char_at_str(a.s, i)) == (at ? std::string(1, static_cast<char>(at)) : ""));
    FUZZ_CHECK(ord(a.s) == (a.valid() && n > 0 ? static_cast<uint8_t>(x[0]) : 0));
    if (a.valid()) {
        FUZZ_CHECK(zel_ord(a.s->data) == (n > 0 ? static_cast<uint8_t>(x[0]) : 0));
        FUZZ_CHECK(zel_str_len(a.s->data) == static_cast<int64_t>(upto_nul(x).size()));
        FUZZ_CHECK(take(zel_string_from_cstr(a.s->data)) == upto_nul(x));
        FUZZ_CHECK(take(zel_chr(i)) == upto_nul(std::string(1, static_cast<char>(i))));
    }
    // Comparison and hashing.
    if (a.valid() && b.valid()) {
        FUZZ_CHECK(zel_string_eq(a.s, b.s) == (x == y ? 1 : 0));
        const int c = x.compare(y);  // char_traits<char> compares as unsigned bytes
        FUZZ_CHECK(zel_string_cmp(a.s, b.s) == (c < 0 ? -1 : c > 0 ? 1 : 0));
    } else if (!a.valid() && b.valid()) {
        FUZZ_CHECK(zel_string_cmp(a.s, b.s) == -1 && zel_string_cmp(b.s, a.s) == 1);
    } else if (!a.valid() && !b.valid()) {
        FUZZ_CHECK(zel_string_cmp(a.s, b.s) == 0);
    }
    if ((a.s == nullptr) != (b.s == nullptr)) FUZZ_CHECK(zel_string_eq(a.s, b.s) == 0);
    FUZZ_CHECK(zel_string_eq(a.s, a.s) == 1 && zel_string_cmp(a.s, a.s) == 0);
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : x) h = (h ^ c) * 0x100000001b3ull;
    FUZZ_CHECK(zel_string_hash(a.s) == (a.valid() ? h : 0));
    // Slicing: half-open, the end cut to the length, bad bounds empty.
    const bool bad = !a.valid() || j < i || i < 0 || i > n;
    const std::string piece = bad ? "" : x.substr(static_cast<size_t>(i), static_cast<size_t>((j < n ? j : n) - i));
    FUZZ_CHECK(take(zel_string_slice(a.s, i, j)) == piece && take(slice(a.s, i, j)) == piece);
}

void transformations(const Arg &a, const Arg &b, int64_t i, int64_t j, int64_t width, uint8_t fill) {
    const std::string &x = a.t, &y = b.t;
    const int64_t n = static_cast<int64_t>(x.size());
    // Prefix and suffix tests.
    if (a.s && b.s) {
        const bool fits = y.size() <= x.size();
        FUZZ_CHECK(zel_string_starts_with(a.s, b.s) == (fits && x.compare(0, y.size(), y) == 0 ? 1 : 0));
        FUZZ_CHECK(zel_string_ends_with(a.s, b.s) ==
                   (fits && x.compare(x.size() - y.size(), y.size(), y) == 0 ? 1 : 0));
    } else {
        FUZZ_CHECK(zel_string_starts_with(a.s, b.s) == 0 && zel_string_ends_with(a.s, b.s) == 0);
    }
    // Substring by count.
    const bool bad = !a.valid() || i < 0 || j < 0 || i > n;
    FUZZ_CHECK(take(zel_string_substr(a.s, i, j)) == (bad ? "" : x.substr(static_cast<size_t>(i), static_cast<size_t>(j))));
    if (a.s == nullptr) {
        FUZZ_CHECK(zel_string_trim_left(a.s) == nullptr && zel_string_trim_right(a.s) == nullptr);
        FUZZ_CHECK(zel_string_to_upper(a.s) == nullptr && zel_string_to_lower(a.s) == nullptr);
        FUZZ_CHECK(zel_string_reverse(a.s) == nullptr);
        FUZZ_CHECK(zel_string_pad_left(a.s, width, fill) == nullptr && zel_str_pad_right(a.s, width, b.s) == nullptr);
        return;
    }
    // Trim halves: the argument itself when there is nothing to remove.
    size_t lead = 0, end = x.size();
    while (lead < x.size() && space(x[lead])) ++lead;
    while (end > 0 && space(x[end - 1])) --end;
    expect_result(zel_string_trim_left(a.s), a, lead == 0, x.substr(lead));
    expect_result(zel_string_trim_right(a.s), a, end == x.size(), x.substr(0, end));
    // Case mapping and reversal: a new string unless empty, measured up to a NUL.
    std::string up = x, low = x, rev(x.rbegin(), x.rend());
    for (char &c : up) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    for (char &c : low) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    expect_result(zel_string_to_upper(a.s), a, n == 0, upto_nul(up));
    expect_result(zel_string_to_lower(a.s), a, n == 0, upto_nul(low));
    expect_result(zel_string_reverse(a.s), a, n == 0, upto_nul(rev));
    // Pads: the integer family takes the fill byte, the string family the first
    // byte of its pad (a space when that is absent or empty).
    const bool wide = a.s->len >= width;
    const std::string fills = wide ? "" : std::string(static_cast<size_t>(width - n), static_cast<char>(fill));
    expect_result(zel_string_pad_left(a.s, width, fill | 0x100), a, wide, upto_nul(fills + x));
    expect_result(zel_string_pad_right(a.s, width, fill), a, wide, upto_nul(x + fills));
    const char pad = b.valid() && !y.empty() ? y[0] : ' ';
    const std::string pads = wide ? "" : std::string(static_cast<size_t>(width - n), pad);
    expect_result(zel_str_pad_left(a.s, width, b.s), a, wide, upto_nul(pads + x));
    expect_result(zel_str_pad_right(a.s, width, b.s), a, wide, upto_nul(x + pads));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const uint8_t flags = in.byte();
    const bool arena = flags & 1;
    zel_arena_mode(arena);
    // Two texts; bit 1 folds them onto a few bytes (white space, letters of
    // both cases, NUL) so that prefixes, trims and equal texts are common.
    std::string texts[2];
    for (std::string &t : texts) {
        t = in.text(in.byte() % 64);
        if (flags & 2)
            for (char &c : t) c = " \tAa\0Bb\r\n"[static_cast<uint8_t>(c) % 9];
    }
    const int64_t i = in.sbyte(), j = in.sbyte(), count = in.byte() % 8 - 2;
    const int64_t width = in.sbyte(), fill = in.byte();
    std::vector<ZelString *> made;
    Arg args[4];
    for (int k = 0; k < 2; ++k) {
        made.push_back(zel_string_new(texts[k].data(), static_cast<int64_t>(texts[k].size())));
        args[k] = {made.back(), texts[k]};
    }
    args[2] = {nullptr, ""};
    args[3] = {&g_no_data, ""};
    // Bits 2-5 pick the argument pair; the texts themselves come first.
    const Arg &a = args[flags >> 2 & 3], &b = args[flags >> 4 & 3];
    core(a, b, i, j, count);
    core(b, a, j, i, count);
    transformations(a, b, i, j, width, static_cast<uint8_t>(fill));
    transformations(b, a, j, i, width + 40, static_cast<uint8_t>(fill));
    for (ZelString *s : made) zel_string_free(s);
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    return 0;
}
