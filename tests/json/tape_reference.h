// The host functions computed the slow way, from the exported tape building
// blocks: parse the whole document into a tape, read the root's slots, walk
// the members, stringify nodes. Used as the oracle for the streaming reader.
//
// Intermediate strings from the building blocks are not released one by one,
// so every call runs in arena mode between a save and a restore of the
// calling thread's arena; results come back as std::string.
#pragma once

#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "zel.h"

namespace tref {

constexpr int64_t kPack = 1000000;
constexpr int64_t kSentinel = 999999;
constexpr int64_t kMaxDoc = 999995;

inline int64_t doc_len(const ZelString *doc) {
    return doc != nullptr && doc->data != nullptr && doc->len > 0 ? doc->len : 0;
}

inline std::string bytes(const ZelString *s) {
    return s != nullptr && s->data != nullptr && s->len > 0 ? std::string(s->data, static_cast<size_t>(s->len))
                                                            : std::string();
}

// Runs in arena mode and gives back the arena it used on the way out.
class ArenaScope {
public:
    ArenaScope() : was_on_(g_arena_enabled != 0) {
        zel_arena_mode(1);
        zel_arena_save();
    }
    ~ArenaScope() {
        zel_arena_restore();
        zel_arena_mode(was_on_ ? 1 : 0);
    }
    ArenaScope(const ArenaScope &) = delete;
    ArenaScope &operator=(const ArenaScope &) = delete;

private:
    bool was_on_;
};

// One parse of a document; every host function's answer is read from it the
// way the library's query frame reads its own tape. The parse depends on
// nothing but the document, so one tape serves every question about it.
class Tape {
public:
    explicit Tape(const ZelString *doc) : doc_(doc), tape_(zel_vec_new()) {
        int64_t r = pval(tape_, doc, wskip(doc, 0));
        root_ = r / kPack;
        end_ = r % kPack;
    }
    ~Tape() { zel_vec_free(tape_); }
    Tape(const Tape &) = delete;
    Tape &operator=(const Tape &) = delete;

    int64_t slot(int64_t i) const { return zel_vec_get(tape_, i); }
    int64_t kind(int64_t node) const { return slot(node); }
    int64_t count(int64_t node) const { return slot(node + 1); }

    // Documents whose every answer the tape can give: short enough for packed
    // positions, and no container cut short at the tape's width limits.
    bool within_limits() const { return doc_len(doc_) <= kMaxDoc && end_ != kSentinel; }

    int64_t validate() const {
        if (doc_len(doc_) == 0) return 0;
        return wskip(doc_, end_) == doc_len(doc_) ? 1 : 0;
    }

    std::string stringify() const {
        ArenaScope arena;
        return bytes(jstringify(tape_, root_, doc_));
    }

    std::string type() const {
        static const char *const names[] = {"null", "bool", "number", "string", "array", "object"};
        int64_t k = kind(root_);
        return k >= 0 && k <= 5 ? names[k] : "unknown";
    }

    std::string get(const ZelString *key) const {
        ArenaScope arena;
        int64_t v = find_by_slices(key);
        return v < 0 ? std::string() : bytes(jstringify(tape_, v, doc_));
    }

    std::string get_string(const ZelString *key) const {
        ArenaScope arena;
        int64_t v = find_by_slices(key);
        if (v < 0 || kind(v) != 3) return std::string();
        ZelString *content = slice(doc_, slot(v + 1), slot(v + 2));
        return bytes(unescape(content, 0, const_cast<ZelString *>(&zel_str_5)));
    }

    int64_t get_number(const ZelString *key) const {
        int64_t v = find_by_jobj(key);
        return v >= 0 && kind(v) == 2 ? slot(v + 1) : 0;
    }

    int64_t get_bool(const ZelString *key) const {
        int64_t v = find_by_jobj(key);
        return v >= 0 && kind(v) == 1 ? slot(v + 1) : -1;
    }

    int64_t has_key(const ZelString *key) const { return find_by_jobj(key) >= 0 ? 1 : 0; }

    int64_t array_len() const { return kind(root_) == 4 ? count(root_) : -1; }

    std::string array_get(int32_t index) const {
        if (kind(root_) != 4 || index < 0 || index >= count(root_)) return std::string();
        ArenaScope arena;
        return bytes(jstringify(tape_, slot(root_ + 2 + index), doc_));
    }

    int64_t object_len() const { return kind(root_) == 5 ? count(root_) : -1; }

    int64_t count() const {
        int64_t k = kind(root_);
        if (k == 5) return 2 * count(root_) + 1;
        if (k == 4) return count(root_) + 1;
        return 1;
    }

    // Raw key bytes of the root object's members, in document order.
    std::vector<std::string> root_keys() const {
        std::vector<std::string> keys;
        if (kind(root_) != 5) return keys;
        ArenaScope arena;
        for (int64_t i = 0; i < count(root_); ++i)
            keys.push_back(bytes(slice(doc_, slot(root_ + 2 + 3 * i), slot(root_ + 3 + 3 * i))));
        return keys;
    }

private:
    // Value node of the first member whose sliced raw key equals key, or -1.
    int64_t find_by_slices(const ZelString *key) const {
        if (kind(root_) != 5) return -1;
        int64_t c = count(root_);
        for (int64_t i = 0; i < c; ++i) {
            ZelString *k = slice(doc_, slot(root_ + 2 + 3 * i), slot(root_ + 3 + 3 * i));
            if (zel_string_eq(k, key)) return slot(root_ + 4 + 3 * i);
        }
        return -1;
    }
    // The same question through the exported lookup.
    int64_t find_by_jobj(const ZelString *key) const {
        if (kind(root_) != 5 || count(root_) <= 0) return -1;
        return jobj_find(tape_, root_, key, doc_, 0, count(root_));
    }

    const ZelString *doc_;
    ZelVec *tape_;
    int64_t root_ = 0;
    int64_t end_ = 0;
};

// Each host function on its own, parsing afresh as the library does.
inline bool within_tape_limits(const ZelString *doc) { return doc_len(doc) <= kMaxDoc && Tape(doc).within_limits(); }
inline int64_t validate(const ZelString *doc) { return Tape(doc).validate(); }
inline std::string stringify(const ZelString *doc) { return Tape(doc).stringify(); }
inline std::string type(const ZelString *doc) { return Tape(doc).type(); }
inline std::string get(const ZelString *doc, const ZelString *key) { return Tape(doc).get(key); }
inline std::string get_string(const ZelString *doc, const ZelString *key) { return Tape(doc).get_string(key); }
inline int64_t get_number(const ZelString *doc, const ZelString *key) { return Tape(doc).get_number(key); }
inline int64_t get_bool(const ZelString *doc, const ZelString *key) { return Tape(doc).get_bool(key); }
inline int64_t has_key(const ZelString *doc, const ZelString *key) { return Tape(doc).has_key(key); }
inline int64_t array_len(const ZelString *doc) { return Tape(doc).array_len(); }
inline std::string array_get(const ZelString *doc, int32_t index) { return Tape(doc).array_get(index); }
inline int64_t object_len(const ZelString *doc) { return Tape(doc).object_len(); }
inline int64_t count(const ZelString *doc) { return Tape(doc).count(); }
inline std::vector<std::string> root_keys(const ZelString *doc) { return Tape(doc).root_keys(); }

// Every host function of the library against the oracle on one document:
// each function, every root key plus absent, empty, null and near-miss keys,
// and array indices around the element count. Returns a description of the
// first disagreement, or "" when all answers agree. Results of the library
// are released (a no-op in arena mode).
inline std::string first_mismatch(const ZelString *doc) {
    auto take = [](ZelString *s) {
        std::string b = bytes(s);
        zel_string_free(s);
        return b;
    };
    auto show = [](const std::string &s) {
        std::string out;
        for (unsigned char c : s.substr(0, 200)) {
            if (c >= 32 && c < 127) out += static_cast<char>(c);
            else out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        }
        return out;
    };
    auto num = [&](const char *what, int64_t got, int64_t want) -> std::string {
        if (got == want) return "";
        return std::string(what) + ": library " + std::to_string(got) + ", tape " + std::to_string(want);
    };
    auto txt = [&](const std::string &what, const std::string &got, const std::string &want) -> std::string {
        if (got == want) return "";
        return what + ": library \"" + show(got) + "\", tape \"" + show(want) + "\"";
    };
    const Tape t(doc);
    std::string m;
    if (!(m = num("validate", zel_json_validate(doc), t.validate())).empty()) return m;
    if (!(m = txt("stringify", take(zel_json_stringify(doc)), t.stringify())).empty()) return m;
    if (!(m = txt("type", take(zel_json_type(doc)), t.type())).empty()) return m;
    if (!(m = num("array_len", zel_json_array_len(doc), t.array_len())).empty()) return m;
    if (!(m = num("object_len", zel_json_object_len(doc), t.object_len())).empty()) return m;
    if (!(m = num("count", zel_json_count(doc), t.count())).empty()) return m;

    std::vector<std::string> keys = t.root_keys();
    size_t present = keys.size();
    keys.push_back("");
    keys.push_back("\x01" "absent");
    for (size_t i = 0; i < present; ++i) {
        keys.push_back(keys[i] + "x");
        if (!keys[i].empty()) keys.push_back(keys[i].substr(0, keys[i].size() - 1));
    }
    std::vector<const ZelString *> key_records;
    std::vector<ZelString> storage(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        storage[i] = ZelString{const_cast<char *>(keys[i].c_str()), static_cast<int64_t>(keys[i].size()),
                               static_cast<int64_t>(keys[i].size())};
        key_records.push_back(&storage[i]);
    }
    key_records.push_back(nullptr);
    for (const ZelString *k : key_records) {
        std::string name = k ? "key \"" + show(bytes(k)) + "\"" : std::string("null key");
        if (!(m = txt("get " + name, take(zel_json_get(doc, k)), t.get(k))).empty()) return m;
        if (!(m = txt("get_string " + name, take(zel_json_get_string(doc, k)), t.get_string(k))).empty())
            return m;
        if (!(m = num(("get_number " + name).c_str(), zel_json_get_number(doc, k), t.get_number(k))).empty())
            return m;
        if (!(m = num(("get_bool " + name).c_str(), zel_json_get_bool(doc, k), t.get_bool(k))).empty())
            return m;
        if (!(m = num(("has_key " + name).c_str(), zel_json_has_key(doc, k), t.has_key(k))).empty()) return m;
    }

    int64_t n = t.array_len();
    std::vector<int32_t> indices = {INT32_MIN, INT32_MAX};
    for (int64_t i = -1; i <= (n < 0 ? 1 : n + 1); ++i) indices.push_back(static_cast<int32_t>(i));
    for (int32_t i : indices) {
        std::string name = "array_get " + std::to_string(i);
        if (!(m = txt(name, take(zel_json_array_get(doc, i)), t.array_get(i))).empty()) return m;
    }
    return "";
}

}  // namespace tref
