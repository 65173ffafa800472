// Cost of the compiled-in description: building the tree (time and heap), and what the dump
// action does with it (find "AdjustBlock", collect its 139 entries, sort them by identifier).
//
//   cmake --preset bench && cmake --build --preset bench --target meta_bench
//   build/bench/benchmarks/meta_bench
#include "app/MurelAdjEntryPrint.h"
#include "meta/MurelMetaDescription.h"

#include <benchmark/benchmark.h>

#include <malloc.h>
#include <sys/resource.h>

using namespace NMurelMeta;

namespace {

// Heap bytes in use, as the allocator counts them (chunk overhead included; large blocks such as
// the tree's node block are mapped separately and counted in hblkhd).
size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Minor page faults of the process so far: first touches of fresh memory.
long pageFaults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// The first getRootNode of the process: the tree is built once, so this runs one iteration, on
// fresh memory. Reports the heap the tree takes and the page faults its first touch costs.
void BM_GetRootNodeFirstBuild(benchmark::State& state) {
    size_t heap = 0;
    long faults = 0;
    for (auto _ : state) {
        const size_t before = heapInUse();
        const long faultsBefore = pageFaults();
        TMetaNodePtr root;
        getRootNode(root);
        heap = heapInUse() - before;
        faults = pageFaults() - faultsBefore;
        benchmark::DoNotOptimize(root.get());
    }
    state.counters["heap_bytes"] = static_cast<double>(heap);
    state.counters["page_faults"] = static_cast<double>(faults);
}
BENCHMARK(BM_GetRootNodeFirstBuild)->Iterations(1)->Repetitions(1)->Unit(benchmark::kMicrosecond);

// The same work repeated on new trees, in memory the previous tree freed (the release of each
// tree is not timed).
void BM_BuildRootNode(benchmark::State& state) {
    size_t heap = 0;
    for (auto _ : state) {
        const size_t before = heapInUse();
        TMetaNodePtr root;
        buildRootNode(root);
        state.PauseTiming();
        heap = heapInUse() - before;
        root.release();
        state.ResumeTiming();
    }
    state.counters["heap_bytes"] = static_cast<double>(heap);
}
BENCHMARK(BM_BuildRootNode)->Unit(benchmark::kMicrosecond);

// Releasing a whole tree.
void BM_ReleaseTree(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        TMetaNodePtr root;
        buildRootNode(root);
        state.ResumeTiming();
        root.release();
    }
}
BENCHMARK(BM_ReleaseTree)->Unit(benchmark::kMicrosecond);

// What the dump action does with the tree once it is built.
void BM_CollectAndSortAdjustEntries(benchmark::State& state) {
    TMetaNodePtr root;
    getRootNode(root);
    const uint32_t mask = AdjNode;
    for (auto _ : state) {
        TMetaNodePtr adjustBlock;
        TVXVector<TMetaNodePtr> entries;
        if (!findRegisteredNode(root.get(), ADJUST_BLOCK_DATA_ID, adjustBlock) ||
            !collectNodes(adjustBlock.get(), false, &mask, entries)) {
            state.SkipWithError("adjust configuration not found");
            break;
        }
        sortNodesById(entries, 0, entries.size() - 1);
        benchmark::DoNotOptimize(entries.begin());
    }
}
BENCHMARK(BM_CollectAndSortAdjustEntries)->Unit(benchmark::kMicrosecond);

// Only the collection and the sort, "AdjustBlock" already in hand.
void BM_CollectAndSortOnly(benchmark::State& state) {
    TMetaNodePtr root;
    getRootNode(root);
    TMetaNodePtr adjustBlock;
    findRegisteredNode(root.get(), ADJUST_BLOCK_DATA_ID, adjustBlock);
    const uint32_t mask = AdjNode;
    for (auto _ : state) {
        TVXVector<TMetaNodePtr> entries;
        collectNodes(adjustBlock.get(), false, &mask, entries);
        sortNodesById(entries, 0, entries.size() - 1);
        benchmark::DoNotOptimize(entries.begin());
    }
}
BENCHMARK(BM_CollectAndSortOnly)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
