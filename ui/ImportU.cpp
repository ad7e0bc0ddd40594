#include "ui/ImportU.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "core/ConfigU.h"
#include "core/GlobalU.h"
#include "core/SystemU.h"
#include "platform/CompoundFile.h"
#include "platform/Locations.h"
#include "stations/StationenDatenbankU.h"

namespace tarvo::ui {

TDlgImport::TDlgImport(const QString& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Import"));
    auto* layout = new QVBoxLayout(this);
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setPlainText(report);
    layout->addWidget(view_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(tr("Schließen"), QDialogButtonBox::RejectRole);
    close->setDefault(true);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 480);
}

core::TImportReport ImportIntoRunning(core::TSystem& system, const std::filesystem::path& folder,
                                      const std::filesystem::path& settingsFile) {
    core::TImportSetup setup;
    setup.source = std::filesystem::absolute(folder);
    setup.registry = &system.Setup().registry;
    setup.settingsFile = settingsFile;
    setup.dataFolder = core::ApplicationDataFolder();
    const platform::UserFolders user = platform::ResolveUserFolders();
    setup.searchFolders = {user.documents, user.home};
    setup.buffersInUse = true;
    if (auto database = system.Stationen()) {
        setup.replaceStations = [database](platform::CompoundStorage root,
                                           const std::filesystem::path& backup) {
            return database->ReplaceAll(std::move(root), backup);
        };
    }
    core::TImportReport report = core::Importiere(setup);
    // The store caches these two and would write the old monitor flags back at the end.
    if (core::TConfig* config = system.Config()) {
        const std::string monitor = config->ReadString(platform::Hive::CurrentUser, "", "Monitor");
        int flags = 0;
        const auto [end, ec] =
            std::from_chars(monitor.data(), monitor.data() + monitor.size(), flags);
        if (ec == std::errc() && end == monitor.data() + monitor.size())
            config->SetMonitor(flags == 1 ? core::TConfig::kDefaultMonitor : flags);
        const std::string font = config->ReadString(platform::Hive::CurrentUser, "", "Font");
        if (!font.empty()) config->SetFont(font);
    }
    return report;
}

void ShowImport(QWidget* parent, core::TSystem& system) {
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QCoreApplication::translate("TDlgImport", "Ordner der Installation wählen"));
    if (folder.isEmpty()) return;
    // The settings file of this run, as start-up found it.
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments()) args.push_back(a.toStdString());
    std::string error;
    const auto locations = platform::ResolveLocations(args, &error);
    if (!locations) {
        // Without it the settings could not be backed up first.
        TDlgImport dialog(
            QCoreApplication::translate("TDlgImport",
                                        "Der Ordner der Einstellungen ist nicht bekannt (%1); "
                                        "nichts wurde importiert.")
                .arg(QString::fromStdString(error)),
            parent);
        dialog.exec();
        return;
    }
    const core::TImportReport report =
        ImportIntoRunning(system, folder.toStdString(), locations->settingsFile);
    QString text = QString::fromStdString(report.Text());
    if (!report.reportFile.empty())
        text += QCoreApplication::translate("TDlgImport", "Bericht: %1")
                    .arg(QString::fromStdString(report.reportFile.string()));
    TDlgImport dialog(text, parent);
    dialog.exec();
}

}  // namespace tarvo::ui
