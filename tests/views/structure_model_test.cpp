// The structure's item model, headless: children fetched a batch at a time as they are asked
// for, and an item found for any node with only its ancestors' children fetched.
#include "views/structure_model.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "analysis/analysis_store.h"
#include "base/messages.h"
#include "decoder/syntax/stream_info.h"
#include "session/decoding_session.h"
#include "structure/index_builder.h"
#include "support/stream_tools.h"

namespace tavik::gui {
namespace {

class QuietMessages final : public Messages {
 public:
  void out(std::string_view) override {}
  void err(std::string_view) override {}
  void message_box(std::string_view) override {}
};

// The structure of a file from its headers walk.
std::shared_ptr<FileStructure> structure_of(const std::filesystem::path& path) {
  auto structure = std::make_shared<FileStructure>();
  IndexBuilder builder(structure->index);
  AnalysisStore store;
  QuietMessages messages;
  SessionListener listener;
  SessionOptions options;
  options.decode_pictures = false;
  options.observe_structure(builder);
  DecodingSession walk(store, messages, listener, options);
  walk.open_stream(path.string());
  while (walk.decode_step()) {
  }
  structure->file = RandomAccessFile::open(path.string());
  builder.finish(walk.stream_info().container, structure->file->size(),
                 walk.stream_info().skipped_bytes);
  return structure;
}

TEST(StructureModel, FetchesChildrenInBatchesAsTheyAreAskedFor) {
  // A group of pictures a frame: the sequence holds more children than a batch.
  const auto path =
      test::make_ffmpeg_stream("many_groups.m2v", "-c:v mpeg2video -g 1 -f mpeg2video",
                               "-f lavfi -i testsrc2=size=32x32:rate=25 -frames:v 1100");
  StructureLink link;
  link.set_structure(structure_of(path));
  StructureModel model(link);
  ASSERT_EQ(model.rowCount(), 0);
  ASSERT_TRUE(model.canFetchMore({}));
  model.fetchMore({});
  ASSERT_EQ(model.rowCount(), 1);  // the video
  const QModelIndex video = model.index(0, 0);
  model.fetchMore(video);
  const QModelIndex sequence = model.index(0, 0, video);
  const NodeId sequence_node = model.node_of(sequence);
  const uint64_t children = link.tree().child_count(sequence_node);
  ASSERT_GT(children, StructureModel::kBatch);
  EXPECT_TRUE(model.hasChildren(sequence));
  EXPECT_EQ(model.rowCount(sequence), 0);
  model.fetchMore(sequence);
  EXPECT_EQ(model.rowCount(sequence), int(StructureModel::kBatch));
  model.fetchMore(sequence);
  EXPECT_EQ(uint64_t(model.rowCount(sequence)), std::min(children, 2 * StructureModel::kBatch));

  // A picture's element far down: only the nodes on its way are fetched.
  const NodeId picture = link.tree().picture(1090);
  const NodeId element = link.tree().child(link.tree().child(picture, 0), 2);
  const QModelIndex item = model.index_of(element);
  ASSERT_TRUE(item.isValid());
  EXPECT_EQ(model.node_of(item), element);
  EXPECT_EQ(model.parent(item).parent(), model.index_of(picture));
  EXPECT_EQ(model.fetched(link.tree().picture(1089)), 0u);
  EXPECT_EQ(model.data(item, Qt::DisplayRole).toString().toStdString(),
            link.tree().info(element).name);
  const NodeInfo info = link.tree().info(element);
  EXPECT_EQ(model.data(item.siblingAtColumn(3), Qt::DisplayRole).toString(),
            QStringLiteral("%1 bit %2").arg(info.bit_offset / 8).arg(info.bit_offset % 8));
  EXPECT_EQ(model.data(item.siblingAtColumn(4), Qt::DisplayRole).toULongLong(), info.bits);
}

// A picture's last child, its macroblocks, is decoded off the window thread when expanded: a row
// a macroblock, each with its fields.
TEST(StructureModel, DecodesAPicturesMacroblocksWhenExpanded) {
  StructureLink link;
  link.set_structure(structure_of(test::sample_path("testsrc-mpeg2.m2v")));
  StructureModel model(link);
  const NodeId picture = link.tree().picture(14);
  const NodeId macroblocks = link.tree().child(picture, link.tree().child_count(picture) - 1);
  ASSERT_EQ(macroblocks.kind(), NodeKind::kMacroblocks);
  const QModelIndex item = model.index_of(macroblocks);
  EXPECT_TRUE(model.hasChildren(item));
  ASSERT_TRUE(model.canFetchMore(item));
  model.fetchMore(item);
  EXPECT_EQ(model.rowCount(item), 0);
  QElapsedTimer timer;
  timer.start();
  while (model.rowCount(item) == 0 && timer.elapsed() < 60000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(model.rowCount(item), 396);  // 22 x 18
  const QModelIndex first = model.index(0, 0, item);
  model.fetchMore(first);
  ASSERT_GT(model.rowCount(first), 0);
  EXPECT_EQ(model.data(model.index(0, 0, first), Qt::DisplayRole).toString(),
            QStringLiteral("address"));
  EXPECT_EQ(model.data(item.siblingAtColumn(1), Qt::DisplayRole).toString(), QStringLiteral("396"));
}

}  // namespace
}  // namespace tavik::gui
