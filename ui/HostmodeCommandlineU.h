// The hostmode command line: commands typed by the operator go to one TNC and
// its answers appear below, one tab per hostmode device.
#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "devices/GeraetHostmodeU.h"

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace tarvo::core {
class TSubscriberAdapter;
}
namespace tarvo::devices {
class TGeraete;
}

namespace tarvo::ui {

class THostmodeCommandlineForm : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kMaxConsoleLines = 2000;
    static constexpr int kMaxHistory = 50;

    THostmodeCommandlineForm(devices::TGeraete& geraete, QWidget* parent = nullptr);
    ~THostmodeCommandlineForm() override;

    // How a command reaches its device; tests answer in its place.
    using TSend =
        std::function<devices::TBefehlAnnahme(devices::TGeraetHostmode&, std::string_view,
                                              std::function<void(const devices::TBefehlAntwort&)>)>;
    TSend send;

    QTabWidget* Tabs() const { return tabs_; }
    QLineEdit* Input() const { return input_; }
    QListWidget* History() const { return history_; }
    // The console of a tab, null for none.
    QPlainTextEdit* Console(int tab) const;
    // The set goes away (shutdown): the window never touches it again.
    void Detach();

  private:
    struct TTab {
        std::weak_ptr<devices::TGeraetHostmode> device;
        QPlainTextEdit* console;
    };
    void Rebuild();
    QString TabTitle(const devices::TGeraetHostmode& device) const;
    void Senden();
    void OnNotify(const void* sender);

    devices::TGeraete* geraete_;
    std::shared_ptr<core::TSubscriberAdapter> subscriber_;
    std::vector<TTab> pages_;
    QTabWidget* tabs_;
    QPointer<QWidget> none_;  // the tab that says there is no device
    QListWidget* history_;
    QLineEdit* input_;
    QPushButton* senden_;
};

}  // namespace tarvo::ui
