#include "views/dialog_service.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace tavik::gui {

QString about_text() {
  return QStringLiteral(
             "<b>Tavik</b> %1<br>Analyser of MPEG-1 and MPEG-2 video<br><br>"
             "Design and development: the Tavik developers<br>"
             "Coordination: the Tavik project<br>"
             "Made for video engineers, broadcasters and students")
      .arg(QCoreApplication::applicationVersion());
}

void ModalDialogs::show_message(QWidget* parent, MessageIcon icon, const QString& text) {
  show_message_informing(parent, icon, text, {});
}

std::unique_ptr<QDialog> make_message_box(QWidget* parent, MessageIcon icon, const QString& text,
                                          const QString& informative) {
  const QMessageBox::Icon box_icon = icon == MessageIcon::kNone          ? QMessageBox::NoIcon
                                     : icon == MessageIcon::kInformation ? QMessageBox::Information
                                     : icon == MessageIcon::kWarning     ? QMessageBox::Warning
                                                                         : QMessageBox::Critical;
  auto box = std::make_unique<QMessageBox>(box_icon, QStringLiteral("Tavik"), QString(),
                                           QMessageBox::Ok, parent);
  box->setInformativeText(informative);
  constexpr int kLongText = 1500;  // characters: some 20 lines of a box
  if (text.size() <= kLongText) {
    box->setText(text);
    return box;
  }
  // The text in a scrolling box that wraps anywhere (a frame sequence has no spaces), placed
  // where the box's own text would be.
  auto* scrolled = new QPlainTextEdit(text, box.get());
  scrolled->setReadOnly(true);
  scrolled->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  scrolled->setMinimumSize(560, 320);
  if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
    grid->addWidget(scrolled, 0, 2);
  }
  return box;
}

void ModalDialogs::show_message_informing(QWidget* parent, MessageIcon icon, const QString& text,
                                          const QString& informative) {
  make_message_box(parent, icon, text, informative)->exec();
}

bool ModalDialogs::confirm(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tavik"), text,
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  return box.exec() == QMessageBox::Ok;
}

QString ModalDialogs::open_file_name(QWidget* parent, const QStringList& filters) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(0));
  dialog.setDefaultSuffix(QStringLiteral("MPG"));
  dialog.setOption(QFileDialog::ReadOnly, false);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString ModalDialogs::save_file_name(QWidget* parent, const QStringList& filters,
                                     const QString& default_suffix, const QString& start_dir) {
  QFileDialog dialog(parent, QString(), start_dir);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.value(0));
  dialog.setDefaultSuffix(default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

bool ModalDialogs::run_dialog(QDialog& dialog) {
  return dialog.exec() == QDialog::Accepted;
}

void ModalDialogs::show_about(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("About Tavik..."));
  auto* icon = new QLabel(&dialog);
  icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
  auto* text = new QLabel(about_text(), &dialog);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* accept = buttons->addButton(QStringLiteral("Aceptar"), QDialogButtonBox::AcceptRole);
  accept->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(row);
  layout->addWidget(buttons);
  dialog.exec();
}

void ModalDialogs::print_preview(QWidget* parent, const std::function<void(QPrinter&)>& print) {
  QPrinter printer(QPrinter::HighResolution);
  QPrintPreviewDialog preview(&printer, parent);
  QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                   [&print](QPrinter* to) { print(*to); });
  // Large enough to read a page: most of the screen, the page as wide as the preview.
  if (const QScreen* screen = parent != nullptr ? parent->screen() : nullptr) {
    preview.resize(screen->availableSize() * 0.8);
  }
  if (auto* pages = preview.findChild<QPrintPreviewWidget*>()) pages->fitToWidth();
  preview.exec();
}

}  // namespace tavik::gui
