#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <string>

#include "analysis/analysis_store.h"
#include "results/report_files.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavik::gui {

class DialogService;

// Where the save-file dialogs start: the program's directory, or the input file's directory
// when the program's directory cannot be written (an installed program).
[[nodiscard]] QString save_start_directory(const std::string& input_path);

// The filters of a save-file dialog whose first filter is `first`.
[[nodiscard]] QStringList save_filters(const QString& first);

// The Save information dialog: the GOP, frame, slice and summary files of everything in the
// store, each written when its box is ticked, to the name in its edit, when OK is pressed.
class SaveInformationDialog final : public QDialog {
  Q_OBJECT

 public:
  SaveInformationDialog(const AnalysisStore& store, std::string input_path, DialogService& dialogs,
                        QWidget* parent = nullptr);

  void accept() override;

 private:
  struct Section {
    QString name;
    bool save = true;
    QCheckBox* box = nullptr;
    QLineEdit* name_edit = nullptr;
  };

  void add_section(ReportFile file, std::optional<int32_t> last_shown);
  void toggle_section(ReportFile file);
  void save_as(ReportFile file);
  void set_format(OutputFormat format);
  // Copies every value into its control.
  void refresh();
  // Copies the controls into the values.
  void read_controls();
  void write_files();
  Section& section(ReportFile file) { return sections_[static_cast<size_t>(file)]; }

  const AnalysisStore& store_;
  const std::string input_path_;
  DialogService& dialogs_;
  const QString start_dir_;
  std::array<Section, 4> sections_;
  OutputFormat format_ = OutputFormat::kDescriptive;
  QRadioButton* descriptive_ = nullptr;
  QRadioButton* bare_ = nullptr;
};

// The Save information command of a Frames, Gops or Slices Information window: asks for a name
// and writes that window's document list there; "File not save" when it cannot be written.
void save_document_list(DocumentKind kind, const AnalysisStore& store,
                        const std::string& input_path, DialogService& dialogs, QWidget* parent);

}  // namespace tavik::gui
