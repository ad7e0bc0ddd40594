// Bringing an installation along from the main window: a folder chooser, the
// import into the running program, and the report.
#pragma once

#include <QDialog>
#include <QString>

#include <filesystem>

#include "core/ImportU.h"

class QPlainTextEdit;
class QWidget;

namespace tarvo::core {
class TSystem;
}

namespace tarvo::ui {

// The report of an import: read-only text and "Schließen".
class TDlgImport : public QDialog {
    Q_OBJECT
  public:
    explicit TDlgImport(const QString& report, QWidget* parent = nullptr);
    QPlainTextEdit* ReportView() const { return view_; }

  private:
    QPlainTextEdit* view_;
};

// Imports folder into the running program: its settings store (whose file,
// when given, is backed up first), its open station database, the sound and
// buffer folders of the data folder.
core::TImportReport ImportIntoRunning(core::TSystem& system, const std::filesystem::path& folder,
                                      const std::filesystem::path& settingsFile);

// The menu command "&Importieren...": asks for the folder, imports it and shows
// the report (modal). Nothing happens when the operator cancels the chooser.
void ShowImport(QWidget* parent, core::TSystem& system);

}  // namespace tarvo::ui
