// The Save information dialog on the offscreen platform: initial names, the files it writes
// (compared with the file writers' own text for the same store), and its refusals and messages.
#include "app/save_information_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include "gui_support/scripted_dialogs.h"
#include "support/stream_tools.h"

namespace tavik::gui {
namespace {

constexpr ReportFile kFiles[] = {ReportFile::kGop, ReportFile::kFrame, ReportFile::kSlice,
                                 ReportFile::kSummary};
constexpr const char* kExtensions[] = {"gop", "frm", "slc", "sum"};

std::string file_text(const QString& path) {
  const std::vector<uint8_t> bytes = test::read_file(path.toStdString());
  return {bytes.begin(), bytes.end()};
}

class SaveInformationDialogTest : public ::testing::Test {
 protected:
  SaveInformationDialogTest() {
    store.update([](StoreData& data) {
      data.frame_bytes = {20000, 5000, 10000, 99};
      data.frame_types = {1, 3, 2, 2};
      data.last_frame = 2;
      data.gop_bytes = {25000, 10000};
      data.open_gop = 2;
      data.slice_bytes = {700, 800, 900};
      data.slice_count = 3;
      data.bytes_scanned = 35000;
    });
  }
  QString path(const QString& name) const { return temp.filePath(name); }
  template <typename Control>
  Control* control(QDialog& dialog, const QString& name) {
    return dialog.findChild<Control*>(name);
  }
  QLineEdit* name_edit(QDialog& dialog, const char* extension) {
    return control<QLineEdit>(dialog, QStringLiteral("name_") + QLatin1String(extension));
  }
  void press(QDialog& dialog, const QString& button) {
    control<QPushButton>(dialog, button)->click();
  }

  QTemporaryDir temp;
  AnalysisStore store;
  test::ScriptedDialogs dialogs;
  const std::string input = path(QStringLiteral("clip.mpg")).toStdString();
};

TEST_F(SaveInformationDialogTest, WritesTheFourFilesInEitherFormat) {
  for (const OutputFormat format : {OutputFormat::kDescriptive, OutputFormat::kBare}) {
    SaveInformationDialog dialog(store, input, dialogs);
    EXPECT_EQ(dialog.windowTitle(), "Save information");
    EXPECT_EQ(control<QLineEdit>(dialog, "last_gop")->text(), "2");
    EXPECT_EQ(control<QLineEdit>(dialog, "last_frm")->text(), "2");
    EXPECT_EQ(control<QLineEdit>(dialog, "last_slc")->text(), "3");
    if (format == OutputFormat::kBare) control<QRadioButton>(dialog, "bare")->click();
    press(dialog, "ok");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.messages.empty());
    for (size_t i = 0; i < std::size(kFiles); ++i) {
      const QString name = path(QStringLiteral("clip.") + QLatin1String(kExtensions[i]));
      EXPECT_EQ(file_text(name), store.read([&](const StoreData& data) {
        return report_file_text(kFiles[i], data, input, format);
      })) << kExtensions[i];
    }
  }
}

TEST_F(SaveInformationDialogTest, RefusesEmptyNamesAndTellsWhichFileCouldNotBeWritten) {
  SaveInformationDialog dialog(store, input, dialogs);
  name_edit(dialog, "gop")->clear();
  press(dialog, "ok");
  ASSERT_EQ(dialogs.messages.size(), 1u);
  EXPECT_EQ(dialogs.messages[0].text, "You must enter a file name for gops information");
  EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::kNone);
  EXPECT_NE(dialog.result(), QDialog::Accepted);

  // A clear box makes the name read-only, its Save As does nothing and its file is not written.
  control<QCheckBox>(dialog, "save_gop")->click();
  EXPECT_TRUE(name_edit(dialog, "gop")->isReadOnly());
  dialogs.save_answers = {path("chosen.gop")};
  press(dialog, "save_as_gop");
  EXPECT_EQ(dialogs.save_answers.size(), 1);

  name_edit(dialog, "slc")->clear();
  press(dialog, "ok");
  ASSERT_EQ(dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.messages[1].text, "You must enter a file name for slices information");

  name_edit(dialog, "slc")->setText(path("s.slc"));
  name_edit(dialog, "frm")->setText(path("no-such-dir/f.frm"));
  name_edit(dialog, "sum")->setText(QString());
  press(dialog, "ok");
  ASSERT_EQ(dialogs.messages.size(), 4u);
  EXPECT_EQ(dialogs.messages[2].text, "Error occured opening the frame file");
  EXPECT_EQ(dialogs.messages[3].text, "Error occured opening the summary file");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(QFileInfo::exists(path("s.slc")));
  EXPECT_FALSE(QFileInfo::exists(path("clip.gop")));
}

TEST_F(SaveInformationDialogTest, SaveAsChoosesTheNameAndRefreshesEveryEdit) {
  SaveInformationDialog dialog(store, input, dialogs);
  name_edit(dialog, "sum")->setText(QStringLiteral("typed"));
  dialogs.save_answers = {path("other.frm"), QString()};
  press(dialog, "save_as_frm");
  EXPECT_EQ(name_edit(dialog, "frm")->text(), path("other.frm"));
  EXPECT_EQ(name_edit(dialog, "sum")->text(), path("clip.sum"));
  EXPECT_EQ(dialogs.save_filters,
            (QStringList{"Frame Files (*.frm)", "Text Files (*.txt)", "All Files (*.*)"}));
  EXPECT_EQ(dialogs.save_suffix, "frm");
  EXPECT_EQ(dialogs.save_dir, QCoreApplication::applicationDirPath());
  press(dialog, "save_as_sum");  // cancelled: the name stays
  EXPECT_EQ(dialogs.save_filters.value(0), "Summary Files (*.sum)");
  EXPECT_EQ(name_edit(dialog, "sum")->text(), path("clip.sum"));
}

}  // namespace
}  // namespace tavik::gui
