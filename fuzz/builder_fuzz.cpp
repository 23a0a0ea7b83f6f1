// Random appends of every kind to one string builder, checked after each step
// against a std::string model that also keeps the capacity by the growth rules:
// general appends double until the bytes and the NUL fit, the single-byte and
// the escaped appends test their own margins. Sources include the null and
// data-less records and records laid over the builder's own block. Building,
// clearing and the comma-item membership test are checked on the way.
#include <vector>

#include "fuzz_support.h"

namespace {

using fz::take;

struct Model {
    std::string text;
    int64_t cap;

    // Any append of n > 0 bytes.
    void grow_for(size_t n) {
        while (static_cast<int64_t>(text.size() + n) >= cap) cap *= 2;
    }
    void append(const std::string &s) {
        if (s.empty()) return;
        grow_for(s.size());
        text += s;
    }
    // The single-byte rule: room for the byte and the NUL, one doubling.
    void byte(char c) {
        if (static_cast<int64_t>(text.size()) + 2 > cap) cap *= 2;
        text += c;
    }
    void escaped(const std::string &s) {
        for (char c : s) {
            const char *pair = c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '"' ? "\\\"" : c == '\\' ? "\\\\" : nullptr;
            if (static_cast<int64_t>(text.size()) + 3 > cap) {
                cap *= 2;
                // Only from capacity 1 does one doubling leave no room for a pair.
                if (pair && static_cast<int64_t>(text.size()) + 2 >= cap) cap *= 2;
            }
            if (pair) text += pair;
            else text += c;
        }
    }
    void quoted(const std::string &s) {
        for (char c : s) {
            if (c == '\\' || c == '"') byte('\\');
            byte(c);
        }
    }
    // Comma-separated membership, step by step.
    int64_t contains(const std::string &s) const {
        const int64_t len = static_cast<int64_t>(text.size()), m = static_cast<int64_t>(s.size());
        if (m == 0 || len == 0 || m > len) return 0;
        for (int64_t pos = 0;;) {
            if (text.compare(static_cast<size_t>(pos), static_cast<size_t>(m), s) == 0 &&
                (pos == 0 || text[static_cast<size_t>(pos - 1)] == ',') && (pos + m >= len || text[static_cast<size_t>(pos + m)] == ','))
                return 1;
            size_t c = text.find(',', static_cast<size_t>(pos));
            int64_t next = c == std::string::npos ? len : static_cast<int64_t>(c);
            if (next >= len - m) return 0;
            pos = next + 1;
        }
    }
};

std::string printed(const char *fmt, int64_t x) {
    char buf[64];
    snprintf(buf, sizeof buf, fmt, static_cast<long>(x));
    return buf;
}

void check(const ZelStringBuilder *sb, const Model &m) {
    FUZZ_CHECK(sb->len == static_cast<int64_t>(m.text.size()) && sb->capacity == m.cap);
    FUZZ_CHECK(sb->len < sb->capacity && sb->data[sb->len] == '\0');
    FUZZ_CHECK(memcmp(sb->data, m.text.data(), m.text.size()) == 0);
}

// Builder content is kept below this, so that self-appends cannot double it for ever.
constexpr size_t kMaxText = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const uint8_t flags = in.byte();
    const bool arena = flags & 1;
    zel_arena_mode(arena);
    // Bit 1: the default builder; else the capacity byte as a signed value
    // (zero and below fall back to 64).
    const int64_t asked = in.sbyte();
    ZelStringBuilder *sb = (flags & 2) ? zel_sb_new() : zel_sb_with_capacity(asked);
    Model m{"", (flags & 2) ? 1024 : asked > 0 ? asked : 64};
    check(sb, m);
    // Source texts: four from the input (bit 2 folds them onto commas, escapes and
    // two letters, for membership and escaping), then a null record and one
    // without data.
    std::vector<std::string> texts;
    std::vector<ZelString *> sources;
    for (int k = 0; k < 4; ++k) {
        std::string t = in.text(in.byte() % 24);
        if (flags & 4)
            for (char &c : t) c = ",ab\t\"\\\n\0"[static_cast<uint8_t>(c) % 8];
        texts.push_back(t);
        sources.push_back(zel_string_new(t.data(), static_cast<int64_t>(t.size())));
    }
    ZelString no_data{nullptr, 3, 3};
    const size_t kNull = 4, kNoData = 5;
    auto source = [&](uint8_t sel) -> size_t { return sel % 6; };
    auto rec = [&](size_t k) -> ZelString * { return k < 4 ? sources[k] : k == kNull ? nullptr : &no_data; };

    while (!in.empty()) {
        const uint8_t op = in.byte();
        const bool room = m.text.size() < kMaxText;
        const size_t k = source(in.byte());
        ZelString *s = rec(k);
        const std::string t = k < 4 ? texts[k] : "";
        switch (op % 16) {
        case 0:
            if (!room) break;
            FUZZ_CHECK(zel_sb_push(sb, s) == (k < 4 ? static_cast<int64_t>(m.text.size() + t.size()) : 0));
            m.append(t);
            break;
        case 1: {
            if (!room) break;
            int64_t start = in.sbyte(), end = in.sbyte();
            int64_t r = sb_push_range(sb, s, start, end);
            if (k >= 4 || start >= end) {
                FUZZ_CHECK(r == 0);
                break;
            }
            start = start < 0 ? 0 : start;
            end = end > static_cast<int64_t>(t.size()) ? static_cast<int64_t>(t.size()) : end;
            if (start < end) m.append(t.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
            FUZZ_CHECK(r == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 2: {
            if (!room) break;
            // Text up to its NUL; the null record stands for a null text.
            const char *c = k < 4 ? sources[k]->data : nullptr;
            int64_t r = sb_push_cstr(sb, c);
            if (c) m.append(fz::upto_nul(t));
            FUZZ_CHECK(r == (c ? static_cast<int64_t>(m.text.size()) : 0));
            break;
        }
        case 3: {
            const int64_t c = in.word();
            m.byte(static_cast<char>(c));
            FUZZ_CHECK((op & 0x80 ? zel_sb_push_char(sb, c) : sb_push_char(sb, c)) == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 4: {
            const int64_t x = in.word();
            m.append(printed("%ld", x));
            FUZZ_CHECK((op & 0x80 ? zel_sb_push_int(sb, x) : sb_push_int(sb, x)) == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 5: {
            if (!room) break;
            int64_t r = zel_sb_push_escaped(sb, s);
            if (k < 4) m.escaped(t);
            FUZZ_CHECK(r == (k < 4 ? static_cast<int64_t>(m.text.size()) : 0));
            break;
        }
        case 6: {
            if (!room) break;
            int64_t r = sb_push_escaped(sb, s);
            if (k < 4) m.quoted(t);
            FUZZ_CHECK(r == (k < 4 ? static_cast<int64_t>(m.text.size()) : 0));
            break;
        }
        case 7: {
            const int64_t w = in.word();
            double d;
            memcpy(&d, &w, sizeof d);
            if (op & 0x80) d = static_cast<double>(static_cast<int32_t>(w)) / 1024.0;
            char buf[64];
            snprintf(buf, sizeof buf, "%.9g", d);
            m.append(buf);
            FUZZ_CHECK(zel_sb_push_f64(sb, d) == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 8: {
            const int64_t x = in.word();
            m.append(printed("0x%lx", x));
            FUZZ_CHECK(zel_sb_push_hex(sb, x) == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 9: {
            const int64_t b = (op & 0x80) ? 0 : in.word();
            m.append(b != 0 ? "true" : "false");
            FUZZ_CHECK(zel_sb_push_bool(sb, b) == static_cast<int64_t>(m.text.size()));
            break;
        }
        case 10: {
            // A built string is a copy: appending afterwards leaves it alone.
            ZelString *built = (op & 0x80) ? zel_sb_build(sb) : sb_build(sb);
            fz::check_made(built);
            FUZZ_CHECK(fz::bytes_of(built) == m.text && built->data != sb->data);
            if (room) {
                zel_sb_push_char(sb, 'z');
                m.byte('z');
                FUZZ_CHECK(fz::bytes_of(built) == m.text.substr(0, m.text.size() - 1));
            }
            zel_string_free(built);
            break;
        }
        case 11:
            FUZZ_CHECK((op & 0x80 ? zel_sb_clear(sb) : sb_clear(sb)) == 0);
            m.text.clear();
            break;
        case 12: {
            // Probes: a source text, or a run of the content itself.
            int64_t want = k < 4 ? m.contains(t) : 0;
            FUZZ_CHECK(zel_sb_contains(sb, s) == want && sb_contains(sb, s) == want);
            if (!m.text.empty()) {
                size_t a = in.byte() % m.text.size(), n = in.byte() % (m.text.size() - a) + 1;
                std::string run = m.text.substr(a, n);
                ZelString probe{run.data(), static_cast<int64_t>(n), static_cast<int64_t>(n)};
                FUZZ_CHECK(zel_sb_contains(sb, &probe) == m.contains(run));
            }
            break;
        }
        case 13: {
            if (!room) break;
            // A record over the builder itself, or over a part of its block.
            ZelString own{sb->data, sb->len, sb->capacity};
            std::string part = m.text;
            if (!m.text.empty() && (op & 0x40)) {
                size_t a = in.byte() % m.text.size(), n = in.byte() % (m.text.size() - a + 1);
                own = ZelString{sb->data + a, static_cast<int64_t>(n), static_cast<int64_t>(n)};
                part = m.text.substr(a, n);
            }
            ZelString *src = (op & 0x40) ? &own : reinterpret_cast<ZelString *>(sb);
            switch (op >> 7) {
            case 0:
                FUZZ_CHECK(zel_sb_push(sb, src) == static_cast<int64_t>(m.text.size() + part.size()));
                m.append(part);
                break;
            default:
                m.escaped(part);
                FUZZ_CHECK(zel_sb_push_escaped(sb, src) == static_cast<int64_t>(m.text.size()));
                break;
            }
            break;
        }
        case 14:
            FUZZ_CHECK(zel_sb_len(sb) == static_cast<int64_t>(m.text.size()) && sb_len(sb) == zel_sb_len(sb));
            break;
        default:
            // A null builder answers 0 and a fresh empty string.
            FUZZ_CHECK(zel_sb_push(nullptr, s) == 0 && zel_sb_push_range(nullptr, s, 0, 5) == 0);
            FUZZ_CHECK(sb_push_cstr(nullptr, "x") == 0 && zel_sb_push_char(nullptr, 'x') == 0);
            FUZZ_CHECK(zel_sb_push_int(nullptr, 1) == 0 && zel_sb_push_escaped(nullptr, s) == 0);
            FUZZ_CHECK(sb_push_escaped(nullptr, s) == 0 && zel_sb_push_f64(nullptr, 1.0) == 0);
            FUZZ_CHECK(zel_sb_push_hex(nullptr, 1) == 0 && zel_sb_push_bool(nullptr, 1) == 0);
            FUZZ_CHECK(zel_sb_contains(nullptr, s) == 0 && zel_sb_len(nullptr) == 0);
            FUZZ_CHECK(take(zel_sb_build(nullptr)).empty());
            break;
        }
        check(sb, m);
    }
    ZelString *built = zel_sb_build(sb);
    FUZZ_CHECK(take(built) == m.text);
    zel_sb_free(sb);
    for (ZelString *s : sources) zel_string_free(s);
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    return 0;
}
