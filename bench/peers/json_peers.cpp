// The host functions against simdjson, RapidJSON, cJSON and nlohmann-json on
// the same generated documents, measured in one run: validate, get of the last
// root member, stringify (parse and serialise for the peers), and simdjson's
// whitespace-only minify as a separate column. Throughput in MB/s of input,
// median of the samples (each after one untimed call), libraries interleaved
// inside each sample so that they share the machine's state. Time is the
// thread's CPU time, so that other programs on a busy machine do not count;
// cache and memory bandwidth they take still do. Before timing, every answer is checked.
//
// Usage: json_peers [--sizes 1K,64K,1M,16M,64M] [--kinds api,numbers,...]
//                   [--samples 5] [--csv out.csv]
#include <cjson/cJSON.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "zel.h"

namespace {

// ---- documents ----

// One document in three texts: compact, pretty (two-space indent), and the
// compact text the host functions give for it (string escapes that their
// decoder reads differently from standard JSON are written as they document:
// \/ gives /, \uXXXX gives uXXXX, \b gives b).
struct Texts {
    std::string compact, pretty, ours;
};

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}
    int64_t below(int64_t n) { return static_cast<int64_t>(rng_() % static_cast<uint64_t>(n)); }

    void raw(Texts &t, const std::string &s) {
        t.compact += s;
        t.pretty += s;
        t.ours += s;
    }
    void nl(Texts &t, int depth) {
        t.pretty += '\n';
        t.pretty.append(static_cast<size_t>(2 * depth), ' ');
    }
    void colon(Texts &t) {
        t.compact += ':';
        t.pretty += ": ";
        t.ours += ':';
    }
    void number(Texts &t) {
        int64_t v = below(2000000001) - 1000000000;
        if (below(3) == 0) v = below(1000);
        raw(t, std::to_string(v));
    }
    // A string with escapes and raw UTF-8 when `rich`.
    void string(Texts &t, bool rich, int64_t len = 0) {
        static const char *const plain[] = {"alpha", "beta", "user", "id ", "north", "x", "Hello, world", "42"};
        static const char *const esc[][2] = {{"\\\"", "\\\""}, {"\\\\", "\\\\"}, {"\\n", "\\n"}, {"\\t", "\\t"},
                                             {"\\/", "/"},     {"\\u00e9", "u00e9"}, {"\\b", "b"}};
        static const char *const utf8[] = {"\xc3\xa9t\xc3\xa9", "\xe6\xbc\xa2\xe5\xad\x97", "\xf0\x9f\x98\x80",
                                           "na\xc3\xafve"};
        std::string src = "\"", out = "\"";
        if (len > 0) {
            while (static_cast<int64_t>(src.size()) < len) {
                std::string w = plain[below(8)];
                src += w + ' ';
                out += w + ' ';
                if (rich && below(8) == 0) {
                    int64_t e = below(7);
                    src += esc[e][0];
                    out += esc[e][1];
                }
            }
        } else {
            for (int64_t k = 1 + below(3); k > 0; --k) {
                int64_t r = rich ? below(10) : 0;
                if (r < 6) {
                    std::string w = plain[below(8)];
                    src += w;
                    out += w;
                } else if (r < 8) {
                    int64_t e = below(7);
                    src += esc[e][0];
                    out += esc[e][1];
                } else {
                    const char *u = utf8[below(4)];
                    src += u;
                    out += u;
                }
            }
        }
        src += '"';
        out += '"';
        t.compact += src;
        t.pretty += src;
        t.ours += out;
    }
    void key(Texts &t, const std::string &k) { raw(t, "\"" + k + "\""); }

    void literal(Texts &t) {
        static const char *const lit[] = {"true", "false", "null"};
        raw(t, lit[below(3)]);
    }

    // An API record: scalars, a short array, a nested object.
    void record(Texts &t, int depth, int64_t i) {
        raw(t, "{");
        const char *const fields[] = {"id", "name", "active", "score", "tags", "meta"};
        for (int f = 0; f < 6; ++f) {
            if (f) raw(t, ",");
            nl(t, depth + 1);
            key(t, fields[f]);
            colon(t);
            switch (f) {
                case 0: raw(t, std::to_string(i)); break;
                case 1: string(t, true); break;
                case 2: literal(t); break;
                case 3: number(t); break;
                case 4:
                    raw(t, "[");
                    for (int k = 0; k < 3; ++k) {
                        if (k) raw(t, ",");
                        nl(t, depth + 2);
                        string(t, false);
                    }
                    nl(t, depth + 1);
                    raw(t, "]");
                    break;
                default:
                    raw(t, "{");
                    nl(t, depth + 2);
                    key(t, "x");
                    colon(t);
                    number(t);
                    raw(t, ",");
                    nl(t, depth + 2);
                    key(t, "y");
                    colon(t);
                    raw(t, "[1,2,3]");
                    nl(t, depth + 1);
                    raw(t, "}");
            }
        }
        nl(t, depth);
        raw(t, "}");
    }

    // Chains of arrays and objects, `levels` deep, around a number.
    void deep(Texts &t, int depth, int levels) {
        if (levels == 0) {
            number(t);
            return;
        }
        if (levels % 2) {
            raw(t, "[");
            nl(t, depth + 1);
            deep(t, depth + 1, levels - 1);
            raw(t, ",");
            nl(t, depth + 1);
            number(t);
            nl(t, depth);
            raw(t, "]");
        } else {
            raw(t, "{");
            nl(t, depth + 1);
            key(t, "d");
            colon(t);
            deep(t, depth + 1, levels - 1);
            nl(t, depth);
            raw(t, "}");
        }
    }

    // A root object of members of one kind, closed by "last": 42, grown until
    // the compact (or the pretty) text reaches the target size.
    Texts document(const std::string &kind, int64_t target, bool pretty) {
        Texts t;
        raw(t, "{");
        for (int64_t i = 0; static_cast<int64_t>((pretty ? t.pretty : t.compact).size()) < target - 64; ++i) {
            if (i) raw(t, ",");
            nl(t, 1);
            key(t, (kind == "wide" ? "k" : "m") + std::to_string(i));
            colon(t);
            if (kind == "api") record(t, 1, i);
            else if (kind == "numbers") {
                raw(t, "[");
                for (int k = 0; k < 16; ++k) {
                    if (k) raw(t, ",");
                    nl(t, 2);
                    number(t);
                }
                nl(t, 1);
                raw(t, "]");
            } else if (kind == "strings") {
                string(t, true);
            } else if (kind == "deep") {
                deep(t, 1, 40);
            } else if (kind == "wide") {
                int64_t r = below(4);
                if (r == 0) number(t);
                else if (r == 1) literal(t);
                else string(t, false);
            } else {  // long strings
                string(t, true, 2000 + below(4000));
            }
        }
        raw(t, ",");
        nl(t, 1);
        key(t, "last");
        colon(t);
        raw(t, "42");
        nl(t, 0);
        raw(t, "}");
        return t;
    }

private:
    std::mt19937_64 rng_;
};

// ---- timing ----

double cpu_now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// One untimed call first: each sample starts from the library's steady
// state, with the memory it reuses from call to call mapped again after the
// trim that precedes every sample.
double seconds_of(const std::function<void()> &fn, int64_t reps) {
    fn();
    double t0 = cpu_now();
    for (int64_t i = 0; i < reps; ++i) fn();
    return (cpu_now() - t0) / static_cast<double>(reps);
}

volatile uint64_t g_sink;

struct Lib {
    std::string name;
    std::function<void()> run;  // empty when the library has no such task
};

// ---- checks ----

ZelString view(const std::string &s) {
    return ZelString{const_cast<char *>(s.data()), static_cast<int64_t>(s.size()), static_cast<int64_t>(s.size())};
}

std::string take(ZelString *s) {
    std::string r(zel_ffi_string_data(s), static_cast<size_t>(zel_ffi_string_len(s)));
    zel_string_free(s);
    return r;
}

// simdjson's compact text of a document, the yardstick for the peers' output.
std::string canonical(const std::string &text) {
    simdjson::dom::parser p;
    simdjson::dom::element e;
    if (p.parse(text).get(e) != simdjson::SUCCESS) return "<invalid>";
    return simdjson::to_string(e);
}

bool g_ok = true;
void check(bool cond, const std::string &what) {
    if (!cond) {
        fprintf(stderr, "CHECK FAILED: %s\n", what.c_str());
        g_ok = false;
    }
}

int64_t parse_size(const std::string &s) {
    int64_t v = std::stoll(s);
    if (s.back() == 'K') v <<= 10;
    if (s.back() == 'M') v <<= 20;
    return v;
}

std::vector<std::string> split(const std::string &s) {
    std::vector<std::string> out;
    size_t a = 0;
    while (a <= s.size()) {
        size_t b = s.find(',', a);
        if (b == std::string::npos) b = s.size();
        out.push_back(s.substr(a, b - a));
        a = b + 1;
    }
    return out;
}

// simdjson's minify is fastest in different builds on different CPUs (its
// AVX-512 build is the slow one in some releases): time each build this CPU
// runs on a pretty 1 MB document once and keep the fastest, so the column
// shows the best minify there is here.
const simdjson::implementation *fastest_minifier() {
    Texts t = Gen(7).document("api", 1 << 20, true);
    std::vector<char> out(t.pretty.size() + simdjson::SIMDJSON_PADDING);
    const simdjson::implementation *best = nullptr;
    double best_s = 0;
    for (const simdjson::implementation *impl : simdjson::get_available_implementations()) {
        if (!impl->supported_by_runtime_system()) continue;
        double s = 1e30;
        for (int r = 0; r < 5; ++r) {
            auto t0 = std::chrono::steady_clock::now();
            size_t ml = 0;
            (void)impl->minify(reinterpret_cast<const uint8_t *>(t.pretty.data()), t.pretty.size(),
                               reinterpret_cast<uint8_t *>(out.data()), ml);
            s = std::min(s, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
        if (best == nullptr || s < best_s) best = impl, best_s = s;
    }
    return best;
}

}  // namespace

int main(int argc, char **argv) {
    std::vector<std::string> sizes = {"1K", "64K", "1M", "16M"};
    std::vector<std::string> kinds = {"api", "numbers", "strings", "deep", "wide", "long"};
    int samples = 5;
    std::string csv_path = "json_peers.csv";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--sizes") sizes = split(argv[i + 1]);
        else if (a == "--kinds") kinds = split(argv[i + 1]);
        else if (a == "--samples") samples = atoi(argv[i + 1]);
        else if (a == "--csv") csv_path = argv[i + 1];
    }
    zel_arena_mode(0);
    if (getenv("JSON_PEERS_DUMP")) {  // the document of the first kind and size, for debugging
        bool pretty = strcmp(getenv("JSON_PEERS_DUMP"), "compact") != 0;
        Texts t = Gen(42).document(kinds[0], parse_size(sizes[0]), pretty);
        const std::string &out = pretty ? t.pretty : t.compact;
        fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    FILE *csv = fopen(csv_path.c_str(), "w");
    if (!csv) {
        perror(csv_path.c_str());
        return 2;
    }
    fprintf(csv, "kind,form,size,bytes,task,library,mbps\n");
    const simdjson::implementation *minifier = fastest_minifier();
    printf("simdjson builds: %s for parsing, %s for minify (the fastest here)\n",
           simdjson::get_active_implementation()->name().c_str(), minifier->name().c_str());
    printf("%-8s %-7s %5s %-9s %9s %9s %9s %9s %9s %9s %7s\n", "kind", "form", "size", "task", "zel", "simdjson",
           "rapidjson", "cjson", "nlohmann", "sj-min", "zel/best");

    for (const std::string &kind : kinds) {
        for (const std::string &size : sizes) {
            for (int form = 0; form < 2; ++form) {
                Texts t = Gen(42).document(kind, parse_size(size), form == 1);
                const std::string &text = form == 0 ? t.compact : t.pretty;
                const char *form_name = form == 0 ? "compact" : "pretty";
                const std::string label = kind + "/" + form_name + "/" + size;
                ZelString doc = view(text);
                static const std::string kLast = "last";
                ZelString last = view(kLast);
                simdjson::padded_string padded(text);
                simdjson::dom::parser dom;
                simdjson::ondemand::parser od;
                std::vector<char> minbuf(text.size() + simdjson::SIMDJSON_PADDING);

                // Every library must take the document, and every answer must be right.
                check(zel_json_validate(&doc) == 1, label + ": zel rejects");
                simdjson::dom::element root;
                check(dom.parse(padded).get(root) == simdjson::SUCCESS, label + ": simdjson rejects");
                rapidjson::Document rd;
                rd.Parse(text.data(), text.size());
                check(!rd.HasParseError(), label + ": rapidjson rejects");
                cJSON *cj = cJSON_ParseWithLength(text.data(), text.size());
                check(cj != nullptr, label + ": cjson rejects");
                check(nlohmann::json::accept(text), label + ": nlohmann rejects");
                check(take(zel_json_get(&doc, &last)) == "42", label + ": zel get");
                {
                    auto d = od.iterate(padded);
                    int64_t v = 0;
                    check(d["last"].get_int64().get(v) == simdjson::SUCCESS && v == 42, label + ": simdjson get");
                }
                check(take(zel_json_stringify(&doc)) == t.ours, label + ": zel stringify");
                std::string canon = canonical(text);
                {
                    rapidjson::StringBuffer sb;
                    rapidjson::Writer<rapidjson::StringBuffer> w(sb);
                    rd.Accept(w);
                    check(canonical(sb.GetString()) == canon, label + ": rapidjson output");
                    char *s = cJSON_PrintUnformatted(cj);
                    check(canonical(s) == canon, label + ": cjson output");
                    free(s);
                    // nlohmann-json keeps members sorted by key: its text must read back as the same value.
                    nlohmann::json nj = nlohmann::json::parse(text);
                    check(nlohmann::json::parse(nj.dump()) == nj, label + ": nlohmann output");
                    size_t ml = 0;
                    check(minifier->minify(reinterpret_cast<const uint8_t *>(text.data()), text.size(),
                                           reinterpret_cast<uint8_t *>(minbuf.data()), ml) == simdjson::SUCCESS &&
                              canonical(std::string(minbuf.data(), ml)) == canon,
                          label + ": simdjson minify");
                }
                cJSON_Delete(cj);

                struct Task {
                    const char *name;
                    std::vector<Lib> libs;
                };
                std::vector<Task> tasks = {
                    {"validate",
                     {{"zel", [&] { g_sink += static_cast<uint64_t>(zel_json_validate(&doc)); }},
                      {"simdjson",
                       [&] {
                           simdjson::dom::element e;
                           g_sink += dom.parse(padded).get(e) == simdjson::SUCCESS;
                       }},
                      {"rapidjson",
                       [&] {
                           rapidjson::Document d;
                           d.Parse(text.data(), text.size());
                           g_sink += d.HasParseError();
                       }},
                      {"cjson",
                       [&] {
                           cJSON *c = cJSON_ParseWithLength(text.data(), text.size());
                           g_sink += c != nullptr;
                           cJSON_Delete(c);
                       }},
                      {"nlohmann", [&] { g_sink += nlohmann::json::accept(text); }},
                      {"sj-min", nullptr}}},
                    {"get",
                     {{"zel",
                       [&] {
                           ZelString *r = zel_json_get(&doc, &last);
                           g_sink += static_cast<uint64_t>(r->len);
                           zel_string_free(r);
                       }},
                      {"simdjson",
                       [&] {
                           auto d = od.iterate(padded);
                           int64_t v = 0;
                           (void)d["last"].get_int64().get(v);
                           g_sink += static_cast<uint64_t>(v);
                       }},
                      {"rapidjson",
                       [&] {
                           rapidjson::Document d;
                           d.Parse(text.data(), text.size());
                           g_sink += static_cast<uint64_t>(d["last"].GetInt64());
                       }},
                      {"cjson",
                       [&] {
                           cJSON *c = cJSON_ParseWithLength(text.data(), text.size());
                           g_sink += static_cast<uint64_t>(cJSON_GetObjectItemCaseSensitive(c, "last")->valueint);
                           cJSON_Delete(c);
                       }},
                      {"nlohmann", [&] { g_sink += nlohmann::json::parse(text)["last"].get<int64_t>(); }},
                      {"sj-min", nullptr}}},
                    {"stringify",
                     {{"zel",
                       [&] {
                           ZelString *r = zel_json_stringify(&doc);
                           g_sink += static_cast<uint64_t>(r->len);
                           zel_string_free(r);
                       }},
                      {"simdjson",
                       [&] {
                           simdjson::dom::element e;
                           (void)dom.parse(padded).get(e);
                           g_sink += simdjson::to_string(e).size();
                       }},
                      {"rapidjson",
                       [&] {
                           rapidjson::Document d;
                           d.Parse(text.data(), text.size());
                           rapidjson::StringBuffer sb;
                           rapidjson::Writer<rapidjson::StringBuffer> w(sb);
                           d.Accept(w);
                           g_sink += sb.GetSize();
                       }},
                      {"cjson",
                       [&] {
                           cJSON *c = cJSON_ParseWithLength(text.data(), text.size());
                           char *s = cJSON_PrintUnformatted(c);
                           g_sink += strlen(s);
                           free(s);
                           cJSON_Delete(c);
                       }},
                      {"nlohmann", [&] { g_sink += nlohmann::json::parse(text).dump().size(); }},
                      {"sj-min",
                       [&] {
                           size_t ml = 0;
                           (void)minifier->minify(reinterpret_cast<const uint8_t *>(text.data()), text.size(),
                                                  reinterpret_cast<uint8_t *>(minbuf.data()), ml);
                           g_sink += ml;
                       }}}},
                };
                for (Task &task : tasks) {
                    // Repetitions per sample: about 20 ms of the slowest library's work.
                    std::vector<int64_t> reps(task.libs.size(), 1);
                    for (size_t l = 0; l < task.libs.size(); ++l) {
                        if (!task.libs[l].run) continue;
                        double once = seconds_of(task.libs[l].run, 1);
                        reps[l] = std::max<int64_t>(1, static_cast<int64_t>(0.02 / std::max(once, 1e-9)));
                    }
                    std::vector<std::vector<double>> mbps(task.libs.size());
                    for (int s = 0; s < samples; ++s)
                        for (size_t l = 0; l < task.libs.size(); ++l)
                            if (task.libs[l].run) {
                                // The libraries that build a node per value leave millions of
                                // small free chunks; without this the next library's first
                                // large malloc pays for merging them inside its timer.
                                malloc_trim(0);
                                mbps[l].push_back(static_cast<double>(text.size()) / 1e6 /
                                                  seconds_of(task.libs[l].run, reps[l]));
                            }
                    std::vector<double> med(task.libs.size(), 0);
                    double best = 0;
                    for (size_t l = 0; l < task.libs.size(); ++l) {
                        if (mbps[l].empty()) continue;
                        std::sort(mbps[l].begin(), mbps[l].end());
                        med[l] = mbps[l][mbps[l].size() / 2];
                        fprintf(csv, "%s,%s,%s,%zu,%s,%s,%.1f\n", kind.c_str(), form_name, size.c_str(), text.size(),
                                task.name, task.libs[l].name.c_str(), med[l]);
                        if (l > 0 && task.libs[l].name != "sj-min") best = std::max(best, med[l]);
                    }
                    printf("%-8s %-7s %5s %-9s", kind.c_str(), form_name, size.c_str(), task.name);
                    for (double m : med) m > 0 ? printf(" %9.0f", m) : printf(" %9s", "-");
                    printf(" %6.2fx", med[0] / best);
                    if (med.back() > 0) printf("  (min %.2fx)", med[0] / med.back());
                    printf("\n");
                    fflush(stdout);
                }
            }
        }
    }
    fclose(csv);
    if (!g_ok) {
        fprintf(stderr, "some answers were wrong; figures above are not comparable\n");
        return 1;
    }
    return 0;
}
