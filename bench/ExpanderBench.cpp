// The page expander in memory: a page from a MemorySiteFiles into a sink that keeps its buffer, so what is measured
// is reading lines, the extension rewrite, the marker scan and the copy, next to a plain memcpy of the same bytes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchText.h"
#include "engine/log/LogText.h"
#include "tests/support/MemorySiteFiles.h"
#include "engine/page/OutputSink.h"
#include "engine/page/PageExpander.h"

namespace quernfold {
namespace {

constexpr std::size_t kPageBytes = 1 << 20;

/** Appends into a buffer that keeps its capacity between pages, as the output file's fixed buffer does. */
class ReusedBufferOutput : public OutputSink {
public:
    void Write(std::string_view bytes) override { m_text.append(bytes); }
    void Clear() { m_text.clear(); }
    std::size_t Size() const { return m_text.size(); }

private:
    std::string m_text;
};

void ExpandInMemory(benchmark::State& state, const std::string& page, const std::string& sourceType,
                    CodePageChoice choice) {
    MemorySiteFiles files('/');
    files.Add("/site/page", page);
    ExpansionContext run;
    run.siteRoot = "/site/";
    LogText log;
    PageExpander expander({sourceType, sourceType == "asp" ? "htm" : "html", choice, '/'}, run, files, log);
    ReusedBufferOutput out;
    for (auto _ : state) {
        out.Clear();
        expander.ExpandSourcePage("/site/page", out);
        benchmark::DoNotOptimize(out.Size());
    }
    if (!log.Text().empty()) state.SkipWithError("the page gave warnings");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
    state.counters["out/in"] = static_cast<double>(out.Size()) / static_cast<double>(page.size());
}

void CopyInMemory(benchmark::State& state, const std::string& page) {
    std::vector<char> target(page.size());
    for (auto _ : state) {
        std::memcpy(target.data(), page.data(), page.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * page.size()));
}

const std::string& PlainPage() {
    static const std::string page = bench::BenchText(11).PlainLines(kPageBytes);
    return page;
}

const std::string& BlockDensePage() {
    static const std::string page = bench::BenchText(12).BlockDenseLines(kPageBytes);
    return page;
}

void BM_Memcpy_PlainPage(benchmark::State& state) {
    CopyInMemory(state, PlainPage());
}
void BM_Expand_PlainPage_Auto(benchmark::State& state) {
    ExpandInMemory(state, PlainPage(), "jsp", CodePageChoice::Auto);
}
void BM_Expand_PlainPage_Gbk(benchmark::State& state) {
    ExpandInMemory(state, PlainPage(), "jsp", CodePageChoice::Gbk);
}
void BM_Memcpy_BlockDensePage(benchmark::State& state) {
    CopyInMemory(state, BlockDensePage());
}
void BM_Expand_BlockDensePage_Jsp(benchmark::State& state) {
    ExpandInMemory(state, BlockDensePage(), "jsp", CodePageChoice::Auto);
}
void BM_Expand_BlockDensePage_Asp(benchmark::State& state) {
    ExpandInMemory(state, BlockDensePage(), "asp", CodePageChoice::Auto);
}

BENCHMARK(BM_Memcpy_PlainPage);
BENCHMARK(BM_Expand_PlainPage_Auto);
BENCHMARK(BM_Expand_PlainPage_Gbk);
BENCHMARK(BM_Memcpy_BlockDensePage);
BENCHMARK(BM_Expand_BlockDensePage_Jsp);
BENCHMARK(BM_Expand_BlockDensePage_Asp);

// A small page with four include directives, one of them nested, as in the generated benchmark sites: the cost of
// a page is then mostly the per-file work (open, detect, look up), not bytes.
void BM_Expand_SmallPageWithIncludes(benchmark::State& state) {
    bench::BenchText text(13);
    MemorySiteFiles files('/');
    files.Add("/site/inc/head.jspf", text.PlainLines(800) + "<%@ include file=\"menu.inc\" %>\r\n");
    files.Add("/site/inc/menu.inc", text.PlainLines(1000));
    files.Add("/site/inc/side.inc", text.PlainLines(1200));
    files.Add("/site/inc/foot.inc", text.PlainLines(500));
    files.Add("/site/s1/sec.jspf", text.PlainLines(900));
    const std::string page = "<%@ page pageEncoding=\"GBK\" %>\r\n<%@ include file=\"/inc/head.jspf\" %>\r\n" +
                             text.PlainLines(2000) + "<%@ include file=\"../inc/side.inc\" %>\r\n" +
                             text.BlockDenseLines(1000) + "<%@ include file=\"/s1/sec.jspf\" %>\r\n" +
                             text.PlainLines(2000) + "<%@ include file=\"/inc/foot.inc\" %>\r\n";
    files.Add("/site/s1/page.jsp", page);
    ExpansionContext run;
    run.siteRoot = "/site/";
    LogText log;
    PageExpander expander({"jsp", "html", CodePageChoice::Auto, '/'}, run, files, log);
    ReusedBufferOutput out;
    for (auto _ : state) {
        out.Clear();
        expander.ExpandSourcePage("/site/s1/page.jsp", out);
        benchmark::DoNotOptimize(out.Size());
    }
    if (!log.Text().empty()) state.SkipWithError("the page gave warnings");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * out.Size()));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_Expand_SmallPageWithIncludes);

}  // namespace
}  // namespace quernfold
