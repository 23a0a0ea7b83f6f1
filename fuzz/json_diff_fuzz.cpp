// Arbitrary bytes as a document, under every kernel this CPU runs: every host
// function must give the tape's answer wherever the tape can hold the
// document, and the byte walk's answer (the exact kernel) everywhere else.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "../json/engine.h"
#include "json/tape_reference.h"

namespace {

// Every answer for a document the tape cannot hold, as one text.
std::string answers(const ZelString *doc) {
    auto take = [](ZelString *s) {
        std::string b(s->data, static_cast<size_t>(s->len));
        zel_string_free(s);
        return b;
    };
    std::string a = std::to_string(zel_json_validate(doc)) + "|" + take(zel_json_stringify(doc)) + "|" +
                    take(zel_json_type(doc)) + "|" + std::to_string(zel_json_count(doc)) + "|" +
                    std::to_string(zel_json_array_len(doc)) + "|" + std::to_string(zel_json_object_len(doc));
    for (const char *k : {"a", "", "k"}) {
        ZelString key{const_cast<char *>(k), static_cast<int64_t>(strlen(k)), static_cast<int64_t>(strlen(k))};
        a += "|" + take(zel_json_get(doc, &key)) + "|" + take(zel_json_get_string(doc, &key)) + "|" +
             std::to_string(zel_json_get_number(doc, &key)) + std::to_string(zel_json_get_bool(doc, &key));
    }
    for (int32_t i : {0, 1, 64, 100}) a += "|" + take(zel_json_array_get(doc, i));
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The runtime guarantees a NUL after the bytes; keep that for the input too.
    std::string text(reinterpret_cast<const char *>(data), size);
    ZelString doc{text.data(), static_cast<int64_t>(size), static_cast<int64_t>(size)};
    bool in_tape;
    {
        const tref::Tape t(&doc);
        in_tape = t.within_limits();
    }
    std::string exact;
    for (int k = zel::json::kExact; k <= zel::json::best_kernel(); ++k) {
        zel::json::force_kernel(static_cast<zel::json::KernelId>(k));
        std::string m;
        if (in_tape) {
            m = tref::first_mismatch(&doc);
        } else {
            std::string a = answers(&doc);
            if (k == zel::json::kExact) exact = a;
            else if (a != exact) m = "answers differ from the byte walk's";
        }
        if (!m.empty()) {
            fprintf(stderr, "kernel %d: library and reference disagree on a %zu-byte document: %s\n", k, size,
                    m.c_str());
            abort();
        }
    }
    return 0;
}
