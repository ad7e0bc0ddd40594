// The connect dialog "Verbinden" (on the monitor "UI-Ziel einstellen") and the
// command dialog "Befehl" opened with Esc.
#pragma once

#include <QDialog>

#include <functional>
#include <memory>

#include "channels/BefehlConnectU.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tarvo::ui {

class TDlgBefehlConnect : public QDialog {
    Q_OBJECT
  public:
    // The message shown for a failed connect; the tests answer it themselves.
    using TShowMessage =
        std::function<void(QWidget* owner, const std::string& title, const std::string& text)>;

    TDlgBefehlConnect(std::unique_ptr<channels::TBefehlConnect> model, QWidget* parent = nullptr);
    ~TDlgBefehlConnect() override;

    QComboBox* StationField() const { return station_; }
    QComboBox* MyCallField() const { return myCall_; }
    QListWidget* RadioChannelList() const { return kanaele_; }
    QPushButton* OkButton() const { return ok_; }
    // The channel that got the connection, after the dialog was accepted.
    int ConnectedChannel() const { return connectedChannel_; }
    void SetShowMessage(TShowMessage show) { showMessage_ = std::move(show); }

  public slots:
    void accept() override;
    void done(int result) override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void UpdateOk();
    void HistoryChosen(int index);
    void CompleteStation(const QString& typed);

    std::unique_ptr<channels::TBefehlConnect> model_;
    QComboBox* station_;
    QComboBox* myCall_;
    QListWidget* kanaele_;
    QPushButton* ok_;
    TShowMessage showMessage_;
    QString typedStation_;
    int connectedChannel_ = -1;
};

class TDlgBefehl : public QDialog {
    Q_OBJECT
  public:
    enum TChoice { kNone, kConnect, kDisconnect, kRemote };
    explicit TDlgBefehl(QWidget* parent = nullptr);
    TChoice Choice() const { return choice_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Choose(TChoice choice);
    TChoice choice_ = kNone;
};

}  // namespace tarvo::ui
