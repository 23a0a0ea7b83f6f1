// Per-thread runtime state and the command-line arguments.
#include "internal.h"

extern "C" {
__attribute__((visibility("default"))) int32_t g_arena_enabled = 0;
}

namespace zel {
__thread ArenaState t_arena __attribute__((tls_model("initial-exec")));
__thread ThreadState t_state;
}  // namespace zel

using zel::t_state;

ZEL_EXPORT void zel_init_runtime(int32_t argc, char **argv) {
    t_state.argc = argc;
    t_state.argv = argv;
    zel::set_arena_enabled(1);
}

ZEL_EXPORT int64_t zel_arg_count(void) { return t_state.argc; }
ZEL_EXPORT int64_t arg_count(void) ZEL_ALIAS_OF(zel_arg_count);

ZEL_EXPORT ZelString *zel_get_arg(int64_t index) {
    if (index < 0 || index >= t_state.argc || t_state.argv == nullptr || t_state.argv[index] == nullptr)
        return zel::fresh_empty();
    const char *arg = t_state.argv[index];
    return zel::make_string(arg, static_cast<int64_t>(strlen(arg)));
}
ZEL_EXPORT ZelString *get_arg(int64_t index) ZEL_ALIAS_OF(zel_get_arg);
