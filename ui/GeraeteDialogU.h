// The device list "Geräte": adds, removes, orders and configures the
// devices on a copy of the order and hands it to the set when accepted.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "devices/GeraeteU.h"

class QPushButton;
class QToolButton;
class QTreeWidget;

namespace tarvo::core {
class TSubscriberAdapter;
}

namespace tarvo::ui {

// A kind's settings dialog: edits the device's pending settings over owner and
// returns the dialog's modal result.
using TDeviceProperties = std::function<int(devices::TGeraet&, QWidget* owner)>;
// Registered once at start by the kinds' user interface; the class name is
// compared without case and a later registration replaces an earlier one.
void RegisterDeviceProperties(std::string className, TDeviceProperties properties);
// Null when the kind has no settings dialog.
TDeviceProperties FindDeviceProperties(std::string_view className);

// A yes/no question or a note: owner, title and text (code page 1252), the
// buttons bitmask; the pressed button's modal result.
using TAsk = std::function<int(QWidget* owner, const std::string& title, const std::string& text,
                               unsigned buttons)>;

// The group "Gerätetreiber": the list of the devices with its commands, on
// a copy of the order. Used by the dialog and by the settings page.
class TGeraeteListe : public QWidget {
    Q_OBJECT
  public:
    // ask answers the questions; empty: the message window.
    TGeraeteListe(devices::TGeraete& geraete, QWidget* parent = nullptr, TAsk ask = {});
    ~TGeraeteListe() override;

    QTreeWidget* List() const { return list_; }
    const devices::TGeraeteEdit& Edit() const { return edit_; }
    bool Detached() const { return detached_; }

    // Hands the copy to the set; the list stays usable for further changes.
    void Apply();
    // Drops what was not applied and empties the list.
    void Discard();
    // The set goes away or the owner closes: drops what was not applied and
    // unsubscribes; the set is never touched again.
    void Detach();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Hinzufuegen();
    void Entfernen();
    void Verschieben(int delta);
    void Eigenschaften();
    // Rebuilds the rows from the copy and selects the row.
    void Fill(int select);
    void Refresh(const devices::TGeraet* device);
    void OnNotify(const void* sender);
    void UpdateButtons();
    int Selected() const;
    int Ask(const std::string& title, const std::string& text, unsigned buttons);

    devices::TGeraete& geraete_;
    TAsk ask_;
    bool detached_ = false;
    devices::TGeraeteEdit edit_;
    std::shared_ptr<core::TSubscriberAdapter> subscriber_;
    QTreeWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QToolButton* up_;
    QToolButton* down_;
    QPushButton* properties_;
};

class TGeraeteDialog : public QDialog {
    Q_OBJECT
  public:
    TGeraeteDialog(devices::TGeraete& geraete, QWidget* parent = nullptr);
    ~TGeraeteDialog() override;

    QTreeWidget* List() const { return liste_->List(); }
    // The set goes away (the program ends while the dialog is open): let go of
    // it and close; the dialog never touches the set again.
    void Detach();
    const devices::TGeraeteEdit& Edit() const { return liste_->Edit(); }

  public slots:
    void accept() override;
    void reject() override;

  private:
    TGeraeteListe* liste_;
};

}  // namespace tarvo::ui
