// A fresh temporary directory per test, removed with everything in it; file helpers.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "support.h"

namespace zt {

struct TempDir {
    std::string path = [] {
        std::string t = std::string(getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") + "/zel-sys-XXXXXX";
        return std::string(mkdtemp(t.data()) ? t : "");
    }();
    // rm copes with trees deeper than PATH_MAX.
    ~TempDir() { EXPECT_EQ(system(("rm -rf '" + path + "'").c_str()), 0); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

inline std::string slurp(const std::string &path) {
    std::stringstream ss;
    ss << std::ifstream(path, std::ios::binary).rdbuf();
    return ss.str();
}
inline void put(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Runs fn on a fresh thread (zeroed runtime state) in arena mode, then turns
// the mode off and releases that thread's arena.
inline void in_arena(const std::function<void()> &fn) {
    std::thread([&] {
        zel_arena_mode(1);
        fn();
        zel_arena_destroy();
    }).join();
}

}  // namespace zt
