#include "app/save_information_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <optional>

#include "results/report_files.h"
#include "views/dialog_service.h"
#include "views/dialog_units.h"

namespace tavik::gui {

namespace {

// The four sections, in the order of ReportFile, which is also the order of writing.
struct SectionText {
  const char* group;
  const char* box;
  const char* extension;           // the default extension, also naming the section's controls
  const char* filter;              // the first filter of its save-file dialog
  const char* empty_name_message;  // nullptr: an empty name is only refused when writing
  int top;                         // dialog units
};
constexpr SectionText kSections[] = {
    {"Gops Information", "Save Gops Information from Gop 0 to Gop:", "gop", "Frame Files (*.gop)",
     "You must enter a file name for gops information", 7},
    {"Frames Information", "Save Frames Information from Frame 0 to Frame:", "frm",
     "Frame Files (*.frm)", nullptr, 60},
    {"Slices Information", "Save Slices Information from Slice 0 to Slice:", "slc",
     "Frame Files (*.slc)", "You must enter a file name for slices information", 111},
    {"Summary Information", "Save Summary Information.", "sum", "Summary Files (*.sum)", nullptr,
     201},
};

QString from_bytes(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString path_text(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// Writes the file; when it cannot be written, tells so with `error`.
void write_or_tell(const QString& name, const std::string& bytes, std::string_view error,
                   DialogService& dialogs, QWidget* parent) {
  if (write_text_file(QFile::encodeName(name).toStdString(), bytes)) return;
  dialogs.show_message(parent, MessageIcon::kNone, from_bytes(error));
}

}  // namespace

QString save_start_directory(const std::string& input_path) {
  const QString program_dir = QCoreApplication::applicationDirPath();
  if (!program_dir.isEmpty() && QFileInfo(program_dir).isWritable()) return program_dir;
  return QFileInfo(path_text(input_path)).absolutePath();
}

QStringList save_filters(const QString& first) {
  return {first, QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*.*)")};
}

SaveInformationDialog::SaveInformationDialog(const AnalysisStore& store, std::string input_path,
                                             DialogService& dialogs, QWidget* parent)
    : QDialog(parent),
      store_(store),
      input_path_(std::move(input_path)),
      dialogs_(dialogs),
      start_dir_(save_start_directory(input_path_)) {
  setWindowTitle(QStringLiteral("Save information"));
  const DialogUnits units(font());
  setFixedSize(units(0, 0, 284, 279).size());
  const auto shown = store.read([](const StoreData& stored) {
    return std::array<int32_t, 3>{stored.open_gop, stored.last_frame, stored.slice_count};
  });
  add_section(ReportFile::kGop, shown[0]);
  add_section(ReportFile::kFrame, shown[1]);
  add_section(ReportFile::kSlice, shown[2]);
  add_section(ReportFile::kSummary, std::nullopt);

  placed(new QGroupBox(QStringLiteral("Output format"), this), units(19, 161, 232, 39));
  descriptive_ =
      placed(new QRadioButton(
                 QStringLiteral("Include help text in the file (Ex. Gop: 28 - Bytes:10500)"), this),
             units(27, 172, 220, 10));
  bare_ =
      placed(new QRadioButton(QStringLiteral("No Include help text in the file (Ex. 10500)"), this),
             units(27, 185, 220, 10));
  descriptive_->setObjectName(QStringLiteral("descriptive"));
  bare_->setObjectName(QStringLiteral("bare"));
  connect(descriptive_, &QRadioButton::clicked, this,
          [this] { set_format(OutputFormat::kDescriptive); });
  connect(bare_, &QRadioButton::clicked, this, [this] { set_format(OutputFormat::kBare); });

  auto* ok = placed(new QPushButton(QStringLiteral("OK"), this), units(89, 258, 50, 14));
  auto* cancel = placed(new QPushButton(QStringLiteral("Cancel"), this), units(144, 258, 50, 14));
  ok->setObjectName(QStringLiteral("ok"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &SaveInformationDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &SaveInformationDialog::reject);
  refresh();
}

// One group: its check box and the last entry shown on the first row; the file name and its
// "Save As..." button on the second.
void SaveInformationDialog::add_section(ReportFile file, std::optional<int32_t> last_shown) {
  const SectionText& text = kSections[static_cast<size_t>(file)];
  const QString extension = QLatin1String(text.extension);
  const int top = text.top;
  const DialogUnits units(font());
  Section& part = section(file);
  part.name = path_text(default_report_names(input_path_)[file]);

  placed(new QGroupBox(QLatin1String(text.group), this), units(7, top, 257, 49));
  part.box = placed(new QCheckBox(QLatin1String(text.box), this), units(14, top + 11, 175, 10));
  part.box->setObjectName(QStringLiteral("save_") + extension);
  if (last_shown) {
    auto* number =
        placed(new QLineEdit(QString::number(*last_shown), this), units(192, top + 10, 60, 12));
    number->setReadOnly(true);
    number->setObjectName(QStringLiteral("last_") + extension);
  }
  placed(new QLabel(QStringLiteral("File Name:"), this), units(14, top + 31, 38, 8));
  part.name_edit = placed(new QLineEdit(this), units(54, top + 29, 146, 12));
  part.name_edit->setObjectName(QStringLiteral("name_") + extension);
  auto* save_as_button =
      placed(new QPushButton(QStringLiteral("Save As..."), this), units(205, top + 28, 50, 14));
  save_as_button->setObjectName(QStringLiteral("save_as_") + extension);
  connect(part.box, &QCheckBox::clicked, this, [this, file] { toggle_section(file); });
  connect(save_as_button, &QPushButton::clicked, this, [this, file] { save_as(file); });
}

void SaveInformationDialog::toggle_section(ReportFile file) {
  Section& part = section(file);
  part.save = !part.save;
  part.name_edit->setReadOnly(!part.save);
  refresh();
}

void SaveInformationDialog::save_as(ReportFile file) {
  Section& part = section(file);
  if (!part.save) return;
  const SectionText& text = kSections[static_cast<size_t>(file)];
  const QString chosen = dialogs_.save_file_name(this, save_filters(QLatin1String(text.filter)),
                                                 QLatin1String(text.extension), start_dir_);
  if (!chosen.isEmpty()) part.name = chosen;
  refresh();
}

void SaveInformationDialog::set_format(OutputFormat format) {
  format_ = format;
  refresh();
}

void SaveInformationDialog::refresh() {
  for (Section& part : sections_) {
    part.name_edit->setText(part.name);
    part.box->setChecked(part.save);
  }
  descriptive_->setChecked(format_ == OutputFormat::kDescriptive);
  bare_->setChecked(format_ == OutputFormat::kBare);
}

void SaveInformationDialog::read_controls() {
  for (Section& part : sections_) {
    part.name = part.name_edit->text();
    part.save = part.box->isChecked();
  }
  format_ = bare_->isChecked() ? OutputFormat::kBare : OutputFormat::kDescriptive;
}

void SaveInformationDialog::accept() {
  read_controls();
  for (size_t i = 0; i < sections_.size(); ++i) {
    const char* message = kSections[i].empty_name_message;
    if (message != nullptr && sections_[i].save && sections_[i].name.isEmpty()) {
      dialogs_.show_message(this, MessageIcon::kNone, QLatin1String(message));
      return;
    }
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  write_files();
  QApplication::restoreOverrideCursor();
  QDialog::accept();
}

// Every ticked file in turn; one that cannot be written is told and the others still written.
void SaveInformationDialog::write_files() {
  for (size_t i = 0; i < sections_.size(); ++i) {
    if (!sections_[i].save) continue;
    const auto file = static_cast<ReportFile>(i);
    const std::string bytes = store_.read([&](const StoreData& stored) {
      return report_file_text(file, stored, input_path_, format_);
    });
    write_or_tell(sections_[i].name, bytes, open_error_message(file), dialogs_, this);
  }
}

void save_document_list(DocumentKind kind, const AnalysisStore& store,
                        const std::string& input_path, DialogService& dialogs, QWidget* parent) {
  const QString name =
      dialogs.save_file_name(parent, save_filters(QStringLiteral("Frame Files (*.frm)")),
                             QStringLiteral("frm"), save_start_directory(input_path));
  if (name.isEmpty()) return;
  const std::string bytes =
      store.read([&](const StoreData& data) { return document_list_text(kind, data, input_path); });
  write_or_tell(name, bytes, kDocumentListError, dialogs, parent);
}

}  // namespace tavik::gui
