// Process entry: the library's own weak main, and the code that lets the shared
// object itself be started as a program.
#include <stdlib.h>

#include "internal.h"

extern "C" __attribute__((weak, visibility("default"))) int main(int argc, char **argv) {
    zel_init_runtime(argc, argv);
    int64_t result = zel_user_main();
    // The strings of the program die with its arena; the save mark stays as it was.
    zel::release_arena_blocks();
    zel::set_arena_enabled(0);
    return static_cast<int>(static_cast<uint32_t>(result));
}

#ifndef ZEL_STATIC_FUZZ
// Started as a program, the dynamic loader maps this object, runs the
// initialisers of its dependencies and jumps here with the kernel's initial
// stack: argc, then argv. There is no C start-up code of our own, so hand the
// arguments to main and leave through exit, which flushes stdio.
extern "C" const char zel_interp[] __attribute__((section(".interp"), used)) = "/lib64/ld-linux-x86-64.so.2";

extern "C" __attribute__((visibility("hidden"), noreturn, used)) void zel_entry_main(long argc, char **argv) {
    exit(main(static_cast<int>(argc), argv));
}

asm(R"(
    .text
    .globl zel_shared_entry
    .hidden zel_shared_entry
    .type zel_shared_entry, @function
zel_shared_entry:
    xor %ebp, %ebp
    mov (%rsp), %rdi
    lea 8(%rsp), %rsi
    and $-16, %rsp
    call zel_entry_main
    hlt
    .size zel_shared_entry, .-zel_shared_entry
)");
#endif
