// Shell commands, environment variables and the working directory.
//
// Commands always go through the system shell; nothing here quotes or
// escapes them.
#include <stdio.h>

#include "io.h"

namespace zel {
namespace {

// Runs command and collects its standard output. Heap mode hands the
// collecting buffer over as the string's bytes (cap = the buffer's size);
// arena mode copies into the arena and frees the buffer. The pipe is
// close-on-exec so commands started by other threads do not hold it open.
ZelString *capture(const char *command) {
    FILE *pipe = popen(command, "re");
    if (pipe == nullptr) return fresh_empty();
    Collected c;
    bool ok = collect(fileno(pipe), c);
    pclose(pipe);
    if (!ok) return fresh_empty();
    if (arena_enabled()) {
        ZelString *s = make_string(c.data, static_cast<int64_t>(c.len));
        free(c.data);
        return s;
    }
    auto *s = static_cast<ZelString *>(zel_alloc(sizeof(ZelString)));
    s->data = c.data;
    s->len = static_cast<int64_t>(c.len);
    s->cap = static_cast<int64_t>(c.size);
    return s;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT int64_t zel_system(const ZelString *command) {
    if (command == nullptr || command->data == nullptr) return -1;
    return system(command->data);
}

ZEL_EXPORT ZelString *zel_system_capture(const ZelString *command) {
    if (command == nullptr || command->data == nullptr) return zel::fresh_empty();
    return zel::capture(command->data);
}
ZEL_EXPORT ZelString *system_capture(const ZelString *command) ZEL_ALIAS_OF(zel_system_capture);

// "command args 2>&1", or "command 2>&1" when there are no arguments.
ZEL_EXPORT ZelString *zel_exec_output(const ZelString *command, const ZelString *args) {
    if (command == nullptr || command->data == nullptr) return zel::fresh_empty();
    size_t cn = zel::text_len(command);
    size_t an = args != nullptr && args->data != nullptr ? zel::text_len(args) : 0;
    auto *line = static_cast<char *>(malloc(cn + an + 7));
    if (line == nullptr) return zel::fresh_empty();
    memcpy(line, command->data, cn);
    size_t pos = cn;
    if (an > 0) {
        line[pos++] = ' ';
        memcpy(line + pos, args->data, an);
        pos += an;
    }
    memcpy(line + pos, " 2>&1", 6);
    ZelString *out = zel::capture(line);
    free(line);
    return out;
}
ZEL_EXPORT ZelString *exec_output(const ZelString *command, const ZelString *args) ZEL_ALIAS_OF(zel_exec_output);

ZEL_EXPORT ZelString *zel_getenv(const ZelString *name) {
    if (name == nullptr || name->data == nullptr) return zel::fresh_empty();
    const char *value = getenv(name->data);
    if (value == nullptr) return zel::fresh_empty();
    return zel::make_string(value, static_cast<int64_t>(strlen(value)));
}

ZEL_EXPORT ZelString *zel_getcwd(void) {
    char buf[4096];
    if (getcwd(buf, sizeof buf) == nullptr) return zel::fresh_empty();
    return zel::make_string(buf, static_cast<int64_t>(strlen(buf)));
}
ZEL_EXPORT ZelString *current_dir(void) ZEL_ALIAS_OF(zel_getcwd);
