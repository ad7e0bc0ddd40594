// The automation server on the session bus: thin objects over TApplications.
// Every call arrives on the main thread; calls that wait answer later, from the
// main-thread events of the connections, never from a loop that blocks.
#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ApplicationU.h"

class QDBusServiceWatcher;

namespace tarvo::automation {

inline constexpr const char* kServiceName = "org.morvane.Tarvo";
inline constexpr const char* kRootPath = "/org/morvane/Tarvo";
inline constexpr const char* kErrorFailed = "org.morvane.Tarvo.Error.Failed";

class TDBusServer;

// /org/morvane/Tarvo
class TApplicationObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.morvane.Tarvo.Application")
    Q_PROPERTY(bool Visible READ visible WRITE setVisible)
    Q_PROPERTY(QDBusObjectPath Connections READ connections)

  public:
    explicit TApplicationObject(TDBusServer& server) : server_(server) {}
    bool visible() const;
    void setVisible(bool visible);
    // Reserved: no collection of connections; "/" like a connection not found.
    QDBusObjectPath connections() const { return QDBusObjectPath("/"); }

  public slots:
    void Show();
    void Hide();
    QDBusObjectPath MyCalls();
    QDBusObjectPath Connect(const QString& Path);
    QDBusObjectPath FindConnection(const QString& Call);

  signals:
    // Declared for clients that listen for it; the server never sends it.
    void OnTest(const QString& Param1, int Param2);

  private:
    TDBusServer& server_;
};

// /org/morvane/Tarvo/MyCalls/N: the own callsigns when it was made.
class TMyCallsObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.morvane.Tarvo.MyCalls")
    Q_PROPERTY(int Count READ count)

  public:
    TMyCallsObject(QString path, std::vector<std::string> calls)
        : path_(std::move(path)), calls_(std::move(calls)) {}
    int count() const { return static_cast<int>(calls_.size()); }
    const QString& ObjectPath() const { return path_; }
    const std::vector<std::string>& Calls() const { return calls_; }

  public slots:
    QDBusObjectPath Item(const QDBusVariant& Index);
    QList<QDBusObjectPath> GetAll();

  private:
    QString path_;
    std::vector<std::string> calls_;
};

// /org/morvane/Tarvo/MyCalls/N/I
class TMyCallObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.morvane.Tarvo.MyCall")
    Q_PROPERTY(QString Call READ call)

  public:
    explicit TMyCallObject(QString call) : call_(std::move(call)) {}
    QString call() const { return call_; }

  private:
    QString call_;
};

// /org/morvane/Tarvo/Connection/<serial>
class TConnectionObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.morvane.Tarvo.Connection")
    // Read only: what a device set up for a live link is not the client's to
    // change (the handle is the device's own number for it).
    Q_PROPERTY(QString Call READ call)
    Q_PROPERTY(QString MyCall READ myCall)
    Q_PROPERTY(QString Digis READ digis)
    Q_PROPERTY(QString Path READ path)
    Q_PROPERTY(QString RealPath READ realPath)
    Q_PROPERTY(int Handle READ handle)
    Q_PROPERTY(int StationType READ stationType)
    Q_PROPERTY(int State READ state)

  public:
    TConnectionObject(TDBusServer& server, std::uint64_t serial)
        : server_(server), serial_(serial) {}
    QString call() const;
    QString myCall() const;
    QString digis() const;
    QString path() const;
    QString realPath() const;
    int handle() const;
    int stationType() const;
    int state() const;

  public slots:
    void Disconnect();
    void SendText(const QString& Text);
    void SendTextLine(const QString& Text);
    void WaitForText(const QString& Text);
    QString ReceiveText();

  signals:
    // Every piece of text the station sent.
    void TextReceived(const QString& Text);
    // The link went down; the object goes when the connection is released.
    void Disconnected();

  private:
    friend class TDBusServer;
    // The live connection, or an error reply (when called from the bus) and null.
    std::shared_ptr<core::IVerbindung> Live() const;
    // A text property of the live connection; empty when it is gone.
    QString Text(std::string (core::IVerbindung::*get)() const) const;

    TDBusServer& server_;
    std::uint64_t serial_;
};

class TDBusServer final : public QObject, public core::IApplicationsView {
    Q_OBJECT

  public:
    // Snapshots one client may keep; the oldest goes first.
    static constexpr std::size_t kMaxSnapshotsPerClient = 16;

    TDBusServer(QDBusConnection bus, std::shared_ptr<core::TApplications> applications);
    ~TDBusServer() override;

    // Puts the application object on the bus; false when the bus refused.
    bool RegisterObjects();
    // The main window was shown or hidden: clients hear of it.
    void NotifyVisible();

    core::TApplications& Applications() { return *applications_; }
    QDBusConnection& Bus() { return bus_; }
    // A call that may wait (its context set to a delayed reply): start hands the
    // client and the answer callback to the logic; answer makes the reply of a
    // success. A failure, now or later, goes back as the error.
    using Start = std::function<void(const std::string& client, core::TApplications::Done)>;
    using Answer =
        std::function<QDBusMessage(const QDBusMessage& call, const core::TApplications::TReply&)>;
    void AnswerLater(const QDBusMessage& call, const Start& start, Answer answer);
    // The client from now on: its records go when its name leaves the bus.
    void Follow(const QString& client);
    // The object of a connection, registered the first time it is asked for.
    QString ConnectionPath(std::uint64_t serial);
    QString NewMyCalls(const QString& client, std::vector<std::string> calls);

    // ---- IApplicationsView ----
    void TextReceived(std::uint64_t serial, std::string_view text) override;
    void LinkEnded(std::uint64_t serial) override;
    void Released(std::uint64_t serial) override;

    // The error every failing member gives, with its text (code page 1252).
    static QDBusMessage Failure(const QDBusMessage& call, std::string_view text);

  private:
    void ClientGone(const QString& client);

    QDBusConnection bus_;
    std::shared_ptr<core::TApplications> applications_;
    std::unique_ptr<TApplicationObject> root_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::map<std::uint64_t, std::unique_ptr<TConnectionObject>> connections_;
    struct TSnapshot {
        QString client;
        std::unique_ptr<TMyCallsObject> list;
        std::vector<std::unique_ptr<TMyCallObject>> items;
    };
    std::vector<TSnapshot> snapshots_;
    std::uint64_t nextSnapshot_ = 1;
    bool lastVisible_ = false;
};

// Text between the bus (UTF-8) and the program (code page 1252).
QString ToBus(std::string_view cp1252);
std::string FromBus(const QString& text);

}  // namespace tarvo::automation
