// The code-page scans every page goes through: the search for a needle at character boundaries (the extension
// rewrite, the include keywords) and the detector's pass over a whole file.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/BenchText.h"
#include "engine/text/CodePage.h"
#include "engine/text/CodePageDetector.h"

namespace quernfold {
namespace {

const std::string& GbkText() {
    static const std::string text = [] {
        bench::BenchText source(21);
        std::string t;
        source.AppendProse(t, 64 * 1024);
        return t;
    }();
    return text;
}

// The needle is absent, so the whole text is scanned; "." comes often in the prose, as in real pages.
void FindAbsent(benchmark::State& state, CodePage cp, std::string_view needle) {
    const std::string& text = GbkText();
    for (auto _ : state) {
        benchmark::DoNotOptimize(FindAtBoundary(cp, text, needle));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_FindAtBoundary_Gbk_Extension(benchmark::State& state) {
    FindAbsent(state, CodePage::Gbk, ".jsx");
}
void BM_FindAtBoundary_Gbk_Keyword(benchmark::State& state) {
    FindAbsent(state, CodePage::Gbk, "include");
}
void BM_FindAtBoundary_Gb18030_Keyword(benchmark::State& state) {
    FindAbsent(state, CodePage::Gb18030, "include");
}
void BM_FindAtBoundary_Utf8_Keyword(benchmark::State& state) {
    FindAbsent(state, CodePage::Utf8, "include");
}
BENCHMARK(BM_FindAtBoundary_Gbk_Extension);
BENCHMARK(BM_FindAtBoundary_Gbk_Keyword);
BENCHMARK(BM_FindAtBoundary_Gb18030_Keyword);
BENCHMARK(BM_FindAtBoundary_Utf8_Keyword);

void Detect(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        CodePageDetector detector(CodePageChoice::Auto);
        detector.Feed(text);
        benchmark::DoNotOptimize(detector.Finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// GBK text fails the UTF-8 test early, so the cost is mostly the declaration search in the first 4 KB.
void BM_CodePageDetector_GbkPage(benchmark::State& state) {
    Detect(state, GbkText());
}

// ASCII text is valid UTF-8 to the end, so the whole file is walked.
void BM_CodePageDetector_AsciiPage(benchmark::State& state) {
    static const std::string text = [] {
        std::string t;
        while (t.size() < 64 * 1024) t += "<p>Plain ASCII text of an old English page, line after line.</p>\r\n";
        return t;
    }();
    Detect(state, text);
}
BENCHMARK(BM_CodePageDetector_GbkPage);
BENCHMARK(BM_CodePageDetector_AsciiPage);

}  // namespace
}  // namespace quernfold
