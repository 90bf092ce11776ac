// The path operations done for every page and every include: resolving a target, the containment check, the
// output path, the parent folder and undoing the extension rewrite.

#include <benchmark/benchmark.h>

#include "engine/output/PathRules.h"

namespace quernfold {
namespace {

const std::string kSiteRoot = "/srv/www/old-site/";
const std::string kPageDir = "/srv/www/old-site/sec03/part07/item11";

void BM_ResolveIncludePath_Relative(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveIncludePath("../../../inc/side.inc", kPageDir, kSiteRoot, '/'));
    }
}
void BM_ResolveIncludePath_FromRoot(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(ResolveIncludePath("/inc/head.htmlf", kPageDir, kSiteRoot, '/'));
    }
}
void BM_IsInsideRoot(benchmark::State& state) {
    const std::string path = "/srv/www/old-site/sec03/part07/item11/../../../inc/side.inc";
    for (auto _ : state) {
        benchmark::DoNotOptimize(IsInsideRoot(path, kSiteRoot, '/'));
    }
}
void BM_PlanOutputPath(benchmark::State& state) {
    const std::string page = kPageDir + "/p012345.jsp";
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlanOutputPath(page, kSiteRoot, "/srv/static/", "html", '/'));
    }
}
void BM_ParentDir(benchmark::State& state) {
    const std::string page = kPageDir + "/p012345.jsp";
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParentDir(page, '/'));
    }
}
void BM_UndoExtensionRewrite(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(UndoExtensionRewrite("head.htmlf", "jsp", "html"));
    }
}

BENCHMARK(BM_ResolveIncludePath_Relative);
BENCHMARK(BM_ResolveIncludePath_FromRoot);
BENCHMARK(BM_IsInsideRoot);
BENCHMARK(BM_PlanOutputPath);
BENCHMARK(BM_ParentDir);
BENCHMARK(BM_UndoExtensionRewrite);

}  // namespace
}  // namespace quernfold
