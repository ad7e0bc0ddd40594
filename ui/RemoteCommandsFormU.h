// The remote-command permissions: the settings page "Fernst." (the global
// values) and the page of the station dialog (the station's own values).
#pragma once

#include <vector>

#include "stations/RemoteCommandsU.h"
#include "ui/EinstellungenU.h"

class QTreeWidget;

namespace tarvo::ui {

class TRemoteCommandsForm : public TTabForm {
    Q_OBJECT
  public:
    // Without a station the page edits the global values and Apply writes them.
    TRemoteCommandsForm(std::shared_ptr<stations::TRemoteCommandManager> manager, bool stationMode,
                        QWidget* parent);
    void Apply() override;

    // Station mode: shows the station's settings, and reads them back.
    void SetStation(const stations::TRemoteCommandList& station);
    stations::TRemoteCommandList Station() const;

    QTreeWidget* Tree() const { return tree_; }

  private:
    void Fill(const std::vector<stations::TRemotePermission>& rows);
    std::vector<stations::TRemotePermission> Rows() const;

    std::shared_ptr<stations::TRemoteCommandManager> manager_;
    const bool stationMode_;
    QTreeWidget* tree_;
    std::vector<stations::TRemotePermission> rows_;
};

}  // namespace tarvo::ui
