// The device status window "Tarvo - Gerätestatus": every device with its
// settings summary and its status, following each change while it is shown.
#pragma once

#include <QWidget>

#include <memory>

class QTreeWidget;

namespace tarvo::core {
class TConfig;
class TSubscriberAdapter;
}  // namespace tarvo::core
namespace tarvo::devices {
class TGeraete;
}

namespace tarvo::ui {

class TGeraeteStatus : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* kKey = "\\Windows\\GeraeteStatus";

    // Placed at the stored position (kept on the screen), else centred.
    TGeraeteStatus(devices::TGeraete& geraete, core::TConfig* config, QWidget* parent = nullptr);
    // Stores the position; write errors are ignored.
    ~TGeraeteStatus() override;

    QTreeWidget* List() const { return list_; }
    bool Subscribed() const { return subscribed_; }
    // The set goes away (shutdown): unsubscribe and never touch it again.
    void Detach();

  signals:
    void visibilityChanged(bool visible);

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void Fill();
    void OnNotify(const void* sender);
    void Unsubscribe();

    devices::TGeraete* geraete_;
    core::TConfig* config_;
    std::shared_ptr<core::TSubscriberAdapter> subscriber_;
    bool subscribed_ = false;
    QTreeWidget* list_;
};

}  // namespace tarvo::ui
