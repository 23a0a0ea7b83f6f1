// A fresh temporary directory per test, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support.h"

namespace zt {

class TempDir {
public:
    TempDir() {
        const char *base = getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/zel-sys-XXXXXX";
        char *made = mkdtemp(tmpl.data());
        EXPECT_NE(made, nullptr);
        path_ = made ? made : "";
    }
    // rm copes with trees deeper than PATH_MAX and with modes a test changed.
    ~TempDir() {
        if (!path_.empty()) EXPECT_EQ(system(("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str()), 0);
    }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

inline std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void put(const std::string &path, const std::string &bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs fn on a fresh thread (zeroed runtime state) with arena mode on, then
// turns the mode off and releases that thread's arena.
inline void in_arena(const std::function<void()> &fn) {
    std::thread([&] {
        zel_arena_mode(1);
        fn();
        zel_arena_destroy();
    }).join();
}

}  // namespace zt
