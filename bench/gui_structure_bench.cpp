// The structure of a long stream of small pictures (about a million nodes): the headers walk
// with and without building it, the Structure window's opening and one page of scrolling in it
// and in the Bytes window (offscreen, each paint done at once), and the index's memory beside
// the process's resident memory. The stream is made with ffmpeg under /tmp; TAVIK_STRUCTURE_STREAM
// names another file instead (read through all its sequences: a file joined with cat), such as
// the 400 MB stream of bench/structure_process.sh.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <QTreeView>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "decoder/syntax/stream_info.h"
#include "gui_bench_support.h"
#include "session/decoding_session.h"
#include "structure/index_builder.h"
#include "views/bytes_view.h"
#include "views/structure_view.h"

namespace {

constexpr const char* kDefaultStream = "/tmp/tavik-structure-many.m2v";
constexpr const char* kMakeStream =
    "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=64x64:rate=25 -t 1200 "
    "-c:v mpeg2video -b:v 300k -g 12 -bf 2 /tmp/tavik-structure-many.m2v";

// The stream measured: the one named in the environment, or the default.
const char* stream_path() {
  const char* named = std::getenv("TAVIK_STRUCTURE_STREAM");
  return named != nullptr && *named != 0 ? named : kDefaultStream;
}

// Shows a window and waits until it is exposed: before that a repaint paints nothing.
void show_exposed(QWidget& window) {
  window.resize(800, 600);
  window.show();
  while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
    QApplication::processEvents();
  }
}

// The headers walk of the stream, building its structure when asked.
std::shared_ptr<tavik::FileStructure> walk(bool structure) {
  auto built = std::make_shared<tavik::FileStructure>();
  tavik::IndexBuilder builder(built->index);
  tavik::AnalysisStore store;
  tavik::CollectedMessages messages;
  tavik::SessionListener listener;
  tavik::SessionOptions options;
  options.decode_pictures = false;
  options.all_sequences = true;
  if (structure) {
    options.observe_structure(builder);
  }
  tavik::DecodingSession session(store, messages, listener, options);
  session.open_stream(stream_path());
  while (session.decode_step()) {
  }
  built->file = tavik::RandomAccessFile::open(stream_path());
  builder.finish(session.stream_info().container, built->file->size(),
                 session.stream_info().skipped_bytes);
  return built;
}

uint64_t count_nodes(tavik::StructureTree& tree, tavik::NodeId node) {
  uint64_t nodes = 1;
  const uint64_t children = tree.child_count(node);
  for (uint64_t row = 0; row < children; ++row) nodes += count_nodes(tree, tree.child(node, row));
  return nodes;
}

void BM_HeadersWalk(benchmark::State& state) {
  const bool structure = state.range(0) != 0;
  const long before = tavik::bench::resident_kib();
  std::shared_ptr<tavik::FileStructure> built;
  for (auto _ : state) built = walk(structure);
  state.SetBytesProcessed(state.iterations() * int64_t(built->file->size()));
  if (structure) {
    state.counters["pictures"] = double(built->index.pictures.size());
    state.counters["index_bytes"] = double(built->index.memory_bytes());
    state.counters["rss_growth_kib"] = double(tavik::bench::resident_kib() - before);
  }
}
BENCHMARK(BM_HeadersWalk)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OpenStructureWindow(benchmark::State& state, tavik::gui::StructureLink* link_of) {
  tavik::gui::StructureLink& link = *link_of;
  for (auto _ : state) {
    tavik::gui::StructureView view(link);
    show_exposed(view);
    view.tree_view()->expandToDepth(1);
    view.tree_view()->viewport()->repaint();
  }
  // Counting reads every element from the file: not for a named file of any size.
  if (std::getenv("TAVIK_STRUCTURE_STREAM") == nullptr) {
    state.counters["nodes"] =
        double(count_nodes(link.tree(), tavik::NodeId::make(tavik::NodeKind::kRoot)));
  }
}

// One page down the expanded sequence of groups and pictures, painted.
void BM_ScrollStructureWindow(benchmark::State& state, tavik::gui::StructureLink* link) {
  tavik::gui::StructureView view(*link);
  show_exposed(view);
  QTreeView* tree = view.tree_view();
  tree->expandToDepth(1);
  QScrollBar* bar = tree->verticalScrollBar();
  tree->viewport()->repaint();
  for (auto _ : state) {
    bar->setValue(
        bar->value() + bar->pageStep() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
    tree->viewport()->repaint();
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ScrollBytesWindow(benchmark::State& state, tavik::gui::StructureLink* link_of) {
  tavik::gui::StructureLink& link = *link_of;
  link.select(link.tree().picture(1000));
  tavik::gui::BytesView view(link);
  show_exposed(view);
  QScrollBar* bar = view.verticalScrollBar();
  for (auto _ : state) {
    bar->setValue(
        bar->value() + bar->pageStep() >= bar->maximum() ? 0 : bar->value() + bar->pageStep());
    view.viewport()->repaint();
  }
  state.counters["frames_per_s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// A search that finds nothing reads every header of the file again.
void BM_SearchWithoutMatch(benchmark::State& state, tavik::gui::StructureLink* link) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(link->tree().find("no such element", link->tree().root()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (!std::filesystem::exists(stream_path()) &&
      (std::getenv("TAVIK_STRUCTURE_STREAM") != nullptr || std::system(kMakeStream) != 0)) {
    std::fprintf(stderr, "cannot make %s\n", stream_path());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  // What the windows show, built once.
  tavik::gui::StructureLink link;
  link.set_structure(walk(true));
  for (const auto& [name, run] : {std::pair{"OpenStructureWindow", &BM_OpenStructureWindow},
                                  std::pair{"ScrollStructureWindow", &BM_ScrollStructureWindow},
                                  std::pair{"ScrollBytesWindow", &BM_ScrollBytesWindow},
                                  std::pair{"SearchWithoutMatch", &BM_SearchWithoutMatch}}) {
    benchmark::RegisterBenchmark(name, run, &link)->Unit(benchmark::kMillisecond)->UseRealTime();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
