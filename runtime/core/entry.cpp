// Process entry: the library's own weak main, and the code that lets the shared
// object itself be started as a program.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

// The two options belong to the library started by itself; programs whose main
// is the library's (compiled programs, hosts) see every argument as their own.
extern "C" __attribute__((visibility("hidden"), noreturn, used)) void zel_entry_main(long argc, char **argv) {
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        puts("libzel " ZEL_VERSION);
        exit(0);
    }
    if (argc == 2 && strcmp(argv[1], "--help") == 0) {
        printf("usage: %s [--version | --help]\n"
               "libzel " ZEL_VERSION ": a JSON toolkit and the runtime of a compiled language, as one C library.\n"
               "Run without options, it prints its demonstration. Use it from C or C++ with\n"
               "`pkg-config --cflags --libs zel` or find_package(zel) (target zel::zel), from Python with zel.py.\n",
               argv[0]);
        exit(0);
    }
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

#ifdef ZEL_COVERAGE
// Coverage builds only: lets test children that leave through _exit write the
// library's counters first.
extern "C" void __gcov_dump(void);
ZEL_EXPORT void zel_coverage_flush(void) { __gcov_dump(); }
#endif
