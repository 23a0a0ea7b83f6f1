/* C++20 interface to libzel: header-only, over the C interface of zel.h.
 *
 * Nothing here throws or needs RTTI, so hosts may build with -fno-exceptions
 * -fno-rtti; failures come back as values (zel::Result). Owners are move-only
 * and release their record when they go:
 *
 * - Strings follow the allocation mode. A zel::String remembers the mode its
 *   string was made in. A heap string is released (both blocks) when the owner
 *   goes, whatever the mode is by then, so one made before an arena phase does
 *   not leak when released during it. An arena string is left to its arena:
 *   releasing it by hand would give arena memory to free. Read an arena
 *   string's owner only until its arena is reset, restored or destroyed.
 * - Vectors, string builders and the three maps live on the system heap in
 *   both modes; their owners always release them.
 *
 * guarded() and ArenaScope act on the calling thread's runtime state (its
 * boundary, its arena). Heap records may be handed between threads; arena
 * strings stay valid only while their thread's arena keeps them. */
#ifndef ZEL_HPP
#define ZEL_HPP

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#if defined(__cpp_exceptions)
#include <exception>
#endif

#include "zel.h"

namespace zel {

/* True while arena mode is on. The switch is process-wide: any thread may flip it. */
inline bool arena_on() noexcept {
    return std::atomic_ref<int32_t>(g_arena_enabled).load(std::memory_order_relaxed) != 0;
}

/* ---- strings ---- */

/* Owner of one ZelString record. Never give it a literal pool record
 * (zel_str_N) or a string another owner holds. */
class String {
public:
    String() noexcept = default;
    /* Adopts s (may be null), taken to be made in the current allocation mode:
     * adopt a result at once, before the mode can change. */
    explicit String(ZelString *s) noexcept : p_(s), heap_(!arena_on()) {}
    /* Adopts s, saying where it was made (true for zel_ffi_cstr_to_string results). */
    String(ZelString *s, bool from_heap) noexcept : p_(s), heap_(from_heap) {}
    String(String &&o) noexcept : p_(o.release()), heap_(o.heap_) {}
    String &operator=(String &&o) noexcept {
        bool heap = o.heap_;
        reset(o.release());
        heap_ = heap;
        return *this;
    }
    String(const String &) = delete;
    String &operator=(const String &) = delete;
    ~String() { reset(); }

    /* The record itself (null for an empty owner); the owner keeps it. */
    ZelString *get() const noexcept { return p_; }
    /* Hands the record over to the caller; the owner becomes empty. */
    ZelString *release() noexcept { return std::exchange(p_, nullptr); }
    /* Releases the held record as described above, then adopts s in the current mode. */
    void reset(ZelString *s = nullptr) noexcept {
        ZelString *old = std::exchange(p_, s);
        bool old_heap = heap_;
        heap_ = !arena_on();
        // zel_ffi_free_string frees both blocks whatever the mode; zel_string_free
        // would keep a heap string while arena mode is on.
        if (old != nullptr && old_heap) zel_ffi_free_string(old);
    }
    /* True when a record is held. */
    explicit operator bool() const noexcept { return p_ != nullptr; }
    /* True when the string came from the system heap (the owner will release it). */
    bool from_heap() const noexcept { return heap_; }

    /* The string's len bytes (NULs included); empty for an empty owner or null data. */
    std::string_view view() const noexcept {
        if (p_ == nullptr || p_->data == nullptr || p_->len <= 0) return {};
        return {p_->data, static_cast<size_t>(p_->len)};
    }
    /* A std::string copy of view(). */
    std::string str() const { return std::string(view()); }
    /* NUL-terminated bytes, never null ("" for an empty owner); text stops at a NUL inside. */
    const char *c_str() const noexcept { return zel_ffi_string_data(p_); }
    /* Length in bytes; 0 for an empty owner. */
    int64_t size() const noexcept { return static_cast<int64_t>(view().size()); }
    /* True for an empty owner or an empty string. */
    bool empty() const noexcept { return view().empty(); }

private:
    ZelString *p_ = nullptr;
    bool heap_ = true;
};

/* A new string holding s's bytes (NULs included), from the runtime allocator
 * (arena or heap, as the mode is now). */
inline String make_string(std::string_view s) {
    return String(zel_string_new(s.data(), static_cast<int64_t>(s.size())));
}
/* A new heap string of text up to its NUL (zel_ffi_cstr_to_string: heap in
 * both modes, so it survives arena resets); a null text gives "". */
inline String host_string(const char *text) { return String(zel_ffi_cstr_to_string(text), true); }

/* A borrowed string argument: a library string, or host bytes seen as a string
 * record without a copy. Host bytes need not end in NUL, so pass a Text only to
 * parameters read as data and len (the JSON functions, builder pushes, map
 * lookups and string map keys below); the bytes must outlive the call. A null
 * record reads as a record with null data. */
class Text {
public:
    Text(const ZelString *s) noexcept : ext_(s) {}
    Text(const String &s) noexcept : ext_(s.get()) {}
    Text(std::string_view s) noexcept
        : rec_{const_cast<char *>(s.data() != nullptr ? s.data() : ""), static_cast<int64_t>(s.size()),
               static_cast<int64_t>(s.size())} {}
    Text(const char *s) noexcept : Text(std::string_view(s != nullptr ? s : "")) {}
    Text(const std::string &s) noexcept : Text(std::string_view(s)) {}

    /* The record to pass on; valid while this Text lives. */
    const ZelString *get() const noexcept { return ext_ != nullptr ? ext_ : &rec_; }

private:
    const ZelString *ext_ = nullptr;
    ZelString rec_{};
};

/* ---- heap records: vectors, builders, maps ---- */

namespace detail {

/* Move-only owner of a heap record released with Free. */
template <class T, class Free>
class Owner {
public:
    Owner() noexcept = default;
    explicit Owner(T *p) noexcept : p_(p) {}
    Owner(Owner &&o) noexcept : p_(o.release()) {}
    Owner &operator=(Owner &&o) noexcept {
        reset(o.release());
        return *this;
    }
    Owner(const Owner &) = delete;
    Owner &operator=(const Owner &) = delete;
    ~Owner() { reset(); }

    /* The record itself (null for an empty owner); the owner keeps it. */
    T *get() const noexcept { return p_; }
    /* Hands the record over to the caller; the owner becomes empty. */
    T *release() noexcept { return std::exchange(p_, nullptr); }
    /* Releases the held record (if any) and adopts p. */
    void reset(T *p = nullptr) noexcept {
        T *old = std::exchange(p_, p);
        if (old != nullptr) Free{}(old);
    }
    /* True when a record is held. */
    explicit operator bool() const noexcept { return p_ != nullptr; }

protected:
    T *p_ = nullptr;
};

struct FreeVec { void operator()(ZelVec *v) const noexcept { zel_vec_free(v); } };
struct FreeBuilder { void operator()(ZelStringBuilder *b) const noexcept { zel_sb_free(b); } };
struct FreeIntMap { void operator()(ZelHashmap *m) const noexcept { hashmap_free(m); } };
struct FreeStrHashMap { void operator()(ZelStrHashmap *m) const noexcept { str_hashmap_free(m); } };
struct FreeStrMap { void operator()(ZelStrmap *m) const noexcept { zel_strmap_free(m); } };

}  // namespace detail

/* Owner of a vector of 64-bit values. Operations other than size() and items()
 * need a held vector (the C calls take no null). */
class Vec : public detail::Owner<ZelVec, detail::FreeVec> {
public:
    using Owner::Owner;
    /* A new empty vector (exhausted memory ends the process, as zel_vec_new does). */
    static Vec make() { return Vec(zel_vec_new()); }
    /* A new empty vector with room for n values. */
    static Vec with_capacity(int64_t n) { return Vec(zel_vec_with_capacity(n)); }

    /* Appends x, growing by doubling. */
    void push(int64_t x) { zel_vec_push(p_, x); }
    /* Element i, unchecked as zel_vec_get is: 0 <= i < size(). */
    int64_t operator[](int64_t i) const noexcept { return p_->items[i]; }
    /* Number of values; 0 for an empty owner. */
    int64_t size() const noexcept { return p_ != nullptr ? p_->len : 0; }
    /* The values in place; valid until the vector grows or goes. */
    std::span<const int64_t> items() const noexcept {
        if (p_ == nullptr || p_->len <= 0) return {};
        return {p_->items, static_cast<size_t>(p_->len)};
    }
};

/* Owner of a string builder. Every call tolerates an empty owner as the C calls do. */
class Builder : public detail::Owner<ZelStringBuilder, detail::FreeBuilder> {
public:
    using Owner::Owner;
    /* A new empty builder. */
    static Builder make() { return Builder(zel_sb_new()); }
    /* A new empty builder with room for n bytes (a default room for n <= 0). */
    static Builder with_capacity(int64_t n) { return Builder(zel_sb_with_capacity(n)); }

    /* Appends s's bytes (NULs included). */
    Builder &push(Text s) { zel_sb_push(p_, s.get()); return *this; }
    /* Appends one byte. */
    Builder &push_char(char c) { zel_sb_push_char(p_, static_cast<unsigned char>(c)); return *this; }
    /* Appends x in decimal. */
    Builder &push_int(int64_t x) { zel_sb_push_int(p_, x); return *this; }
    /* Appends x as "%.9g". */
    Builder &push_f64(double x) { zel_sb_push_f64(p_, x); return *this; }
    /* Appends "true" or "false". */
    Builder &push_bool(bool b) { zel_sb_push_bool(p_, b ? 1 : 0); return *this; }
    /* Appends s with JSON string escapes (as zel_sb_push_escaped). */
    Builder &push_escaped(Text s) { zel_sb_push_escaped(p_, s.get()); return *this; }
    /* Empties the builder, keeping its room. */
    void clear() { zel_sb_clear(p_); }

    /* Bytes written so far; 0 for an empty owner. */
    int64_t size() const noexcept { return zel_sb_len(p_); }
    /* The content in place; valid until the next push, clear or release. */
    std::string_view view() const noexcept {
        if (p_ == nullptr || p_->data == nullptr) return {};
        return {p_->data, static_cast<size_t>(p_->len)};
    }
    /* A new string of the content (runtime allocator); the builder is unchanged. */
    String build() const { return String(zel_sb_build(p_)); }
};

/* Owner of an integer hash map (131072 slots, never grows; a full table stores
 * nothing). Every call tolerates an empty owner as the C calls do. */
class IntMap : public detail::Owner<ZelHashmap, detail::FreeIntMap> {
public:
    using Owner::Owner;
    /* A new empty map; an empty owner when memory is short (3 MiB are asked for). */
    static IntMap make() { return IntMap(hashmap_new()); }

    /* Stores value under key: the previous value, or 0 when the key was absent. */
    int64_t insert(int64_t key, int64_t value) { return hashmap_insert(p_, key, value); }
    /* The key's value, or nothing when absent (a stored INT64_MIN is found too). */
    std::optional<int64_t> find(int64_t key) const {
        int64_t v = hashmap_get(p_, key);
        if (v == ZEL_HASHMAP_ABSENT && !hashmap_contains(p_, key)) return std::nullopt;
        return v;
    }
    /* True when the key is present. */
    bool contains(int64_t key) const { return hashmap_contains(p_, key) != 0; }
    /* Removes the key: its value, or nothing when it was absent. */
    std::optional<int64_t> remove(int64_t key) {
        if (!contains(key)) return std::nullopt;
        return hashmap_remove(p_, key);
    }
    /* Number of entries. */
    int64_t size() const { return hashmap_len(p_); }
    /* The keys in table order. */
    Vec keys() const { return Vec(hashmap_keys(p_)); }
    /* The values, in the order of keys(). */
    Vec values() const { return Vec(hashmap_values(p_)); }
};

/* Owner of a string hash map. Keys are held by pointer, never copied or freed:
 * a key's record must outlive its entry, so insert takes records only (an
 * owner the caller keeps, never a temporary). Lookups take any Text. Listings
 * come in table order. Every call tolerates an empty owner. */
class StrHashMap : public detail::Owner<ZelStrHashmap, detail::FreeStrHashMap> {
public:
    using Owner::Owner;
    /* A new empty map; an empty owner when memory is short. */
    static StrHashMap make() { return StrHashMap(str_hashmap_new()); }

    /* Stores value under key: the previous value, or 0 when absent (the first key record stays). */
    int64_t insert(ZelString *key, int64_t value) { return str_hashmap_insert(p_, key, value); }
    int64_t insert(const String &key, int64_t value) { return insert(key.get(), value); }
    int64_t insert(String &&key, int64_t value) = delete;  // the entry would outlive its key
    /* Adds delta to the key's value (an absent key counts as 0, held from now on). */
    void inc(ZelString *key, int64_t delta) { zel_str_hashmap_inc(p_, key, delta); }
    void inc(const String &key, int64_t delta) { inc(key.get(), delta); }
    void inc(String &&key, int64_t delta) = delete;
    /* The key's value, or nothing when absent (a stored 0 is found too). */
    std::optional<int64_t> find(Text key) const {
        int64_t v = str_hashmap_get(p_, key.get());
        if (v == 0 && !str_hashmap_contains(p_, key.get())) return std::nullopt;
        return v;
    }
    /* True when the key is present. */
    bool contains(Text key) const { return str_hashmap_contains(p_, key.get()) != 0; }
    /* Removes the key: its value, or nothing when absent. */
    std::optional<int64_t> remove(Text key) {
        if (!contains(key)) return std::nullopt;
        return str_hashmap_remove(p_, key.get());
    }
    /* Number of entries. */
    int64_t size() const { return str_hashmap_len(p_); }
    /* The key records (the map's own, not copies) as pointers, in table order. */
    Vec keys() const { return Vec(str_hashmap_keys(p_)); }
    /* The values, in the order of keys(). */
    Vec values() const { return Vec(str_hashmap_values(p_)); }
};

/* Owner of a string map: chained buckets, keys copied (with their length, so
 * they may hold NULs), so any Text may serve as a key. Every call tolerates an
 * empty owner. */
class StrMap : public detail::Owner<ZelStrmap, detail::FreeStrMap> {
public:
    using Owner::Owner;
    /* A new empty map (exhausted memory ends the process). */
    static StrMap make() { return StrMap(zel_strmap_new()); }

    /* Stores value under a copy of key, replacing a present key's value; false
     * when refused (empty owner or null key data). */
    bool insert(Text key, int64_t value) { return zel_strmap_insert(p_, key.get(), value) != 0; }
    /* The key's value, or nothing when absent (a stored -1 is found too). */
    std::optional<int64_t> find(Text key) const {
        int64_t v = zel_strmap_get(p_, key.get());
        if (v == -1 && !zel_strmap_contains(p_, key.get())) return std::nullopt;
        return v;
    }
    /* True when the key is present. */
    bool contains(Text key) const { return zel_strmap_contains(p_, key.get()) != 0; }
    /* Removes the key: its value, or nothing when absent. */
    std::optional<int64_t> remove(Text key) {
        if (!contains(key)) return std::nullopt;
        return zel_strmap_remove(p_, key.get());
    }
    /* Number of entries. */
    int64_t size() const { return zel_strmap_size(p_); }
    /* The values: buckets in order, each chain newest first. */
    Vec values() const { return Vec(zel_strmap_values(p_)); }
};

/* ---- the failure boundary ---- */

namespace detail {

/* The message of a failure, copied out of the thread's buffer (at most 511 bytes). */
class ErrorText {
public:
    /* The failure's message; empty when there was none. */
    std::string_view error() const noexcept { return {text_, len_}; }

protected:
    void set_error(const char *msg) noexcept {
        len_ = msg != nullptr ? strnlen(msg, sizeof text_ - 1) : 0;
        if (len_ != 0) memcpy(text_, msg, len_);
        text_[len_] = '\0';
    }
    [[noreturn]] void die() const noexcept {
        std::fprintf(stderr, "zel::Result: value() of a failed call: %.*s\n", static_cast<int>(len_), text_);
        std::abort();
    }
    bool failed_ = false;

private:
    size_t len_ = 0;
    char text_[512] = {};
};

template <class F, class T>
struct Call;

}  // namespace detail

/* The outcome of guarded(fn): fn's value, or the message of the failure that
 * ended it. */
template <class T>
class Result : public detail::ErrorText {
public:
    /* True when fn returned. */
    bool ok() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return ok(); }
    /* fn's value; on a failed call ends the process with the message (a bug in the caller). */
    T &value() & noexcept { if (failed_) die(); return *value_; }
    const T &value() const & noexcept { if (failed_) die(); return *value_; }
    T &&value() && noexcept { if (failed_) die(); return std::move(*value_); }
    /* fn's value, or fallback when the call failed. */
    template <class U>
    T value_or(U &&fallback) const & { return failed_ ? static_cast<T>(std::forward<U>(fallback)) : *value_; }

private:
    template <class G>
    friend auto guarded(G &&fn) -> Result<std::invoke_result_t<G &>>;
    template <class F, class U>
    friend struct detail::Call;
    std::optional<T> value_;
};

template <>
class Result<void> : public detail::ErrorText {
public:
    /* True when fn returned. */
    bool ok() const noexcept { return !failed_; }
    explicit operator bool() const noexcept { return ok(); }

private:
    template <class G>
    friend auto guarded(G &&fn) -> Result<std::invoke_result_t<G &>>;
};

namespace detail {

/* Nesting depth of guarded() on this thread: only the outermost closes the boundary. */
inline thread_local int t_guard_depth = 0;

/* What the trampoline needs: the callable, where its value goes, and (with
 * exceptions on) an exception to carry past the library's frames. */
template <class F, class T>
struct Call {
    F *fn = nullptr;
    Result<T> *result = nullptr;
#if defined(__cpp_exceptions)
    std::exception_ptr thrown;
#endif

    /* Runs fn inside zel_ffi_call's frame; holds no object with a destructor
     * while fn runs, since a failure leaves this frame by longjmp. */
    static int64_t trampoline(int64_t arg) {
        auto *call = reinterpret_cast<Call *>(arg);
#if defined(__cpp_exceptions)
        try {
            call->run();
        } catch (...) {
            // An exception must not cross the library's frames: it would leave
            // the boundary pointing at a dead context.
            call->thrown = std::current_exception();
        }
#else
        call->run();
#endif
        return 0;
    }

    void run() {
        if constexpr (std::is_void_v<T>) (*fn)();
        else result->value_.emplace((*fn)());
    }
};

}  // namespace detail

/* Runs fn() inside the FFI boundary, with the return context live in
 * zel_ffi_call's frame: a failure in fn (panic, assertion, bounds, division by
 * zero) comes back here as the Result's error() instead of ending the process.
 * The boundary is closed (zel_ffi_end) when the outermost guarded() returns;
 * calls nest. A failure leaves fn by longjmp, so fn's own locals are not
 * destroyed (the language leaves that undefined): keep owners and other objects
 * with destructors outside fn (capture them by reference), and do not use
 * ZEL_FFI_TRY inside fn. An exception thrown by fn passes on after the boundary
 * is closed. fn's result type must be void or a move-constructible non-reference. */
template <class G>
auto guarded(G &&fn) -> Result<std::invoke_result_t<G &>> {
    using T = std::invoke_result_t<G &>;
    static_assert(!std::is_reference_v<T>, "guarded(fn): fn must return a value or void");
    using CallT = detail::Call<std::remove_reference_t<G>, T>;
    Result<T> result;
    CallT call;
    call.fn = &fn;
    call.result = &result;
    ++detail::t_guard_depth;
    int32_t failed = zel_ffi_call(&CallT::trampoline, reinterpret_cast<int64_t>(&call), nullptr);
    if (failed != 0) {
        result.failed_ = true;
        result.set_error(zel_ffi_error_message());
    }
    if (--detail::t_guard_depth == 0) zel_ffi_end();
#if defined(__cpp_exceptions)
    if (call.thrown) std::rethrow_exception(call.thrown);
#endif
    return result;
}

/* ---- arena mode ---- */

/* Arena mode for the life of the scope, on the calling thread. Opened while
 * arena mode is off, it turns it on and, at its end, reclaims what the scope
 * allocated and turns it off again: with no arena blocks before, the thread's
 * arena is destroyed (zel_arena_destroy); otherwise the arena goes back to a
 * save mark taken at the start (zel_arena_save / zel_arena_restore; the mark is
 * the thread's only one), so earlier arena strings stay valid. Opened while
 * arena mode is on already, it changes nothing: the outer owner reclaims.
 * Arena strings made in the scope must not be read after it; other threads
 * that allocate meanwhile use arenas of their own, not reclaimed here. */
class ArenaScope {
public:
    ArenaScope() noexcept : nested_(arena_on()) {
        if (nested_) return;
        fresh_ = zel_arena_usage() == 0;
        if (!fresh_) zel_arena_save();
        zel_arena_mode(1);
    }
    ~ArenaScope() {
        if (nested_) return;
        if (fresh_) {
            zel_arena_destroy();  // every block is this scope's; also turns the mode off
        } else {
            zel_arena_restore();
            zel_arena_mode(0);
        }
    }
    ArenaScope(const ArenaScope &) = delete;
    ArenaScope &operator=(const ArenaScope &) = delete;

    /* Bytes the calling thread's arena holds from the system (block capacities). */
    uint64_t usage() const noexcept { return zel_arena_usage(); }
    /* True when the scope was opened inside arena mode and leaves it alone. */
    bool nested() const noexcept { return nested_; }

private:
    bool nested_;
    bool fresh_ = false;
};

/* ---- JSON host functions ----
 * Each call parses the document afresh and looks only at the root and its
 * direct members; keys match by their raw bytes. String results are new
 * strings owned by the returned String (arena or heap, as the mode is). */
namespace json {

/* True when the parse of the first value, then white space, ends at the
 * document's end. The parser is lenient (literals are judged by their first
 * letter, closing brackets go unchecked): true is no proof of strict JSON. */
inline bool validate(Text doc) { return zel_json_validate(doc.get()) != 0; }
/* The document re-written compactly. */
inline String stringify(Text doc) { return String(zel_json_stringify(doc.get())); }
/* The root's kind: "null", "bool", "number", "string", "array" or "object". */
inline String type(Text doc) { return String(zel_json_type(doc.get())); }
/* The JSON text of the root object's first member named key (strings keep
 * their quotes); empty when the root is no object or has no such member. */
inline String get(Text doc, Text key) { return String(zel_json_get(doc.get(), key.get())); }
/* The decoded content of the first member named key when it is a string; empty otherwise. */
inline String get_string(Text doc, Text key) { return String(zel_json_get_string(doc.get(), key.get())); }
/* The first member named key when it is a number (its leading integer digits:
 * 3.7 gives 3); 0 otherwise, as for a stored 0 (has_key tells them apart). */
inline int64_t get_number(Text doc, Text key) { return zel_json_get_number(doc.get(), key.get()); }
/* The first member named key when it is a bool; nothing otherwise. */
inline std::optional<bool> get_bool(Text doc, Text key) {
    int64_t b = zel_json_get_bool(doc.get(), key.get());
    if (b < 0) return std::nullopt;
    return b != 0;
}
/* True when the root is an object with a member named key. */
inline bool has_key(Text doc, Text key) { return zel_json_has_key(doc.get(), key.get()) != 0; }
/* The root array's element count; -1 when the root is no array. */
inline int64_t array_len(Text doc) { return zel_json_array_len(doc.get()); }
/* The JSON text of element index of the root array; empty when out of range or no array. */
inline String array_get(Text doc, int32_t index) { return String(zel_json_array_get(doc.get(), index)); }
/* The root object's member count; -1 when the root is no object. */
inline int64_t object_len(Text doc) { return zel_json_object_len(doc.get()); }
/* Values at the top two levels: 2 x members + 1 for an object, elements + 1
 * for an array, 1 for anything else. */
inline int64_t count(Text doc) { return zel_json_count(doc.get()); }

}  // namespace json

}  // namespace zel

#endif
