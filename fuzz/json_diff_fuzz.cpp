// Arbitrary bytes as a document: every host function must give the tape's
// answer wherever the tape can hold the document, and must never misbehave
// anywhere else.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "json/tape_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The runtime guarantees a NUL after the bytes; keep that for the input too.
    std::string text(reinterpret_cast<const char *>(data), size);
    ZelString doc{text.data(), static_cast<int64_t>(size), static_cast<int64_t>(size)};
    {
        const tref::Tape t(&doc);
        if (!t.within_limits()) {
            // Outside the tape's reach the answers have no oracle; run them for the sanitizers.
            zel_string_free(zel_json_stringify(&doc));
            zel_json_count(&doc);
            return 0;
        }
    }
    std::string m = tref::first_mismatch(&doc);
    if (!m.empty()) {
        fprintf(stderr, "library and tape disagree on a %zu-byte document: %s\n", size, m.c_str());
        abort();
    }
    return 0;
}
