// The cached key-value lookup against a model parser written here: lookups in
// a few texts (two of them the same length, one an equal copy in another
// record) through the three cache slots and through refused slots, with keys
// taken from the texts, arbitrary keys and the null key. A hit must give the
// value's bytes and, while the slot's text stays the same, the very same
// record; every value ever returned must stay readable, across arena resets
// and rebuilds of its slot.
#include <map>
#include <vector>

#include "fuzz_support.h"

namespace {

// Entries 'key=value' separated by ';': the key runs to the first '=' (it may
// hold ';'), the value to the next ';'; no '=' ends the parse; the last entry
// of a key wins.
std::map<std::string, std::string> parse(const std::string &t) {
    std::map<std::string, std::string> m;
    for (size_t at = 0; at < t.size();) {
        size_t eq = t.find('=', at);
        if (eq == std::string::npos) break;
        size_t semi = t.find(';', eq + 1);
        m[t.substr(at, eq - at)] = t.substr(eq + 1, (semi == std::string::npos ? t.size() : semi) - eq - 1);
        if (semi == std::string::npos) break;
        at = semi + 1;
    }
    return m;
}

struct Slot {
    bool built = false;
    std::string text;                         // the text the slot's cache holds
    std::map<std::string, ZelString *> seen;  // values returned since it was built
};

// Longer than any text an input makes: looked up first in every slot, it
// leaves each cache in the same state whatever ran before.
const std::string kReset(64, '=');

struct Returned {
    ZelString *s;
    std::string bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const uint8_t flags = in.byte();
    const bool arena = flags & 1;
    // Texts: two from the input (bit 1 folds them onto '=', ';' and two
    // letters), a second record with the first text's bytes, and a text of the
    // first one's length with its last byte changed.
    std::vector<std::string> texts;
    for (int k = 0; k < 2; ++k) {
        std::string t = in.text(in.byte() % 48);
        if (flags & 2)
            for (char &c : t) c = "a=b;a;=\0"[static_cast<uint8_t>(c) % 8];
        texts.push_back(t);
    }
    texts.push_back(texts[0]);
    texts.push_back(texts[0]);
    if (!texts[3].empty()) texts[3].back() = static_cast<char>(texts[3].back() ^ 1);
    std::vector<ZelString *> records;
    for (const std::string &t : texts) records.push_back(zel_string_new(t.data(), static_cast<int64_t>(t.size())));
    // Keys: those of the texts (hits), a few bytes from the input, the null key.
    std::vector<std::string> keys;
    for (const std::string &t : texts)
        for (const auto &kv : parse(t)) keys.push_back(kv.first);
    keys.push_back(in.text(in.byte() % 4));
    keys.push_back("");
    std::vector<ZelString *> key_records;
    for (const std::string &k : keys) key_records.push_back(zel_string_new(k.data(), static_cast<int64_t>(k.size())));
    key_records.push_back(nullptr);
    // The records above are heap strings, so that an arena reset leaves them
    // alone; the misses' fresh empty strings come from the arena when it is on.
    zel_arena_mode(arena);

    ZelString reset{const_cast<char *>(kReset.data()), 64, 64};
    for (int64_t slot = 0; slot < 3; ++slot) FUZZ_CHECK(fz::take(reg_cached_lookup(&reset, &reset, slot)).empty());
    Slot slots[3];
    std::vector<Returned> returned;
    while (!in.empty()) {
        const uint8_t op = in.byte();
        if (op == 0xFF) {
            // The cache's strings live outside the arena.
            if (arena) zel_arena_reset();
            continue;
        }
        const uint8_t sel = in.byte();
        const size_t ti = sel % (records.size() + 1);
        const ZelString *text = ti < records.size() ? records[ti] : nullptr;
        const size_t ki = in.byte() % key_records.size();
        const ZelString *key = key_records[ki];
        static const int64_t kRefused[] = {-1, 3, INT64_MIN, INT64_MAX};
        const int64_t slot = (op & 0x80) ? kRefused[op % 4] : op % 3;
        ZelString *r = reg_cached_lookup(text, key, slot);
        fz::check_made(r);
        const bool usable = text && text->len > 0 && slot >= 0 && slot <= 2;
        if (!usable) {
            FUZZ_CHECK(fz::take(r).empty());
            continue;
        }
        Slot &m = slots[slot];
        const std::string t = texts[ti];
        if (!m.built || m.text != t) m = Slot{true, t, {}};
        const auto entries = parse(t);
        const auto hit = key ? entries.find(keys[ki]) : entries.end();
        if (hit == entries.end()) {
            FUZZ_CHECK(fz::take(r).empty());
            continue;
        }
        FUZZ_CHECK(fz::bytes_of(r) == hit->second);
        auto [it, fresh] = m.seen.emplace(hit->first, r);
        FUZZ_CHECK(fresh || it->second == r);
        returned.push_back({r, hit->second});
    }
    for (const Returned &v : returned) FUZZ_CHECK(fz::bytes_of(v.s) == v.bytes && v.s->data[v.s->len] == '\0');
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    for (ZelString *s : records) zel_string_free(s);
    for (ZelString *s : key_records) zel_string_free(s);
    return 0;
}
