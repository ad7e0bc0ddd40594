#include "automation/DBusServer.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QVariantMap>
#include <algorithm>
#include <cmath>
#include <exception>

#include "core/DebOutU.h"
#include "platform/CodePage.h"

namespace tarvo::automation {

namespace {

constexpr QDBusConnection::RegisterOptions kExport = QDBusConnection::ExportAllSlots |
                                                     QDBusConnection::ExportAllSignals |
                                                     QDBusConnection::ExportAllProperties;

QString RootPath(const QString& tail) {
    return QString::fromLatin1(kRootPath) + tail;
}

// The index of Item as the client gave it: integers as they are, texts that hold
// one, whole floating-point numbers; anything else is -1.
std::int64_t IndexFromVariant(const QVariant& v) {
    switch (v.metaType().id()) {
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
            return v.toLongLong();
        case QMetaType::ULongLong:
            return v.toULongLong() > static_cast<qulonglong>(INT64_MAX) ? -1 : v.toLongLong();
        case QMetaType::Double: {
            const double d = v.toDouble();
            return std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 1e15
                       ? static_cast<std::int64_t>(d)
                       : -1;
        }
        case QMetaType::QString:
            return core::IndexFromText(v.toString().toStdString());
        default:
            return -1;
    }
}

}  // namespace

QString ToBus(std::string_view cp1252) {
    // A bus text cannot hold NUL; the station may still have sent one.
    QString text = QString::fromStdString(platform::Cp1252ToUtf8(cp1252));
    text.replace(QChar(u'\0'), QChar(0xFFFD));
    return text;
}

std::string FromBus(const QString& text) {
    return platform::Utf8ToCp1252(text.toStdString());
}

QDBusMessage TDBusServer::Failure(const QDBusMessage& call, std::string_view text) {
    return call.createErrorReply(QString::fromLatin1(kErrorFailed), ToBus(text));
}

// ---- the application -----------------------------------------------------------------

bool TApplicationObject::visible() const {
    return server_.Applications().Visible();
}

void TApplicationObject::setVisible(bool visible) {
    server_.Applications().SetVisible(visible);
    server_.NotifyVisible();
}

void TApplicationObject::Show() {
    setVisible(true);
}

void TApplicationObject::Hide() {
    setVisible(false);
}

QDBusObjectPath TApplicationObject::MyCalls() {
    const QString client = message().service();
    const QString path = server_.NewMyCalls(client, server_.Applications().MyCalls());
    server_.Follow(client);
    return QDBusObjectPath(path);
}

QDBusObjectPath TApplicationObject::Connect(const QString& Path) {
    setDelayedReply(true);
    server_.AnswerLater(
        message(),
        [&](const std::string& client, core::TApplications::Done done) {
            server_.Applications().Connect(client, FromBus(Path), std::move(done));
        },
        [server = &server_](const QDBusMessage& call, const core::TApplications::TReply& r) {
            return call.createReply(
                QVariant::fromValue(QDBusObjectPath(server->ConnectionPath(r.serial))));
        });
    return {};
}

QDBusObjectPath TApplicationObject::FindConnection(const QString& Call) {
    const std::uint64_t serial = server_.Applications().FindConnection(FromBus(Call));
    return QDBusObjectPath(serial ? server_.ConnectionPath(serial) : QStringLiteral("/"));
}

// ---- own callsigns -------------------------------------------------------------------

QDBusObjectPath TMyCallsObject::Item(const QDBusVariant& Index) {
    const std::int64_t i = IndexFromVariant(Index.variant());
    if (i < 0 || i >= count()) {
        sendErrorReply(QString::fromLatin1(kErrorFailed), QStringLiteral("buh!"));
        return {};
    }
    return QDBusObjectPath(path_ + QLatin1Char('/') + QString::number(i));
}

QList<QDBusObjectPath> TMyCallsObject::GetAll() {
    QList<QDBusObjectPath> out;
    for (int i = 0; i < count(); ++i)
        out.append(QDBusObjectPath(path_ + QLatin1Char('/') + QString::number(i)));
    return out;
}

// ---- connections ---------------------------------------------------------------------

std::shared_ptr<core::IVerbindung> TConnectionObject::Live() const {
    try {
        return server_.Applications().Verbindung(serial_);
    } catch (const std::exception& e) {
        if (calledFromDBus())
            sendErrorReply(QString::fromLatin1(kErrorFailed), QString::fromLatin1(e.what()));
        return nullptr;
    }
}

namespace {

// Runs a member's work; whatever it throws goes back to the client as its error.
template <class F>
void Guarded(const QDBusContext& context, F&& work) {
    try {
        work();
    } catch (const std::exception& e) {
        if (context.calledFromDBus())
            context.sendErrorReply(QString::fromLatin1(kErrorFailed), ToBus(e.what()));
    }
}

}  // namespace

QString TConnectionObject::Text(std::string (core::IVerbindung::*get)() const) const {
    const auto v = Live();
    return v ? ToBus(((*v).*get)()) : QString();
}

QString TConnectionObject::call() const {
    return Text(&core::IVerbindung::Call);
}

QString TConnectionObject::myCall() const {
    return Text(&core::IVerbindung::MyCall);
}

QString TConnectionObject::digis() const {
    return Text(&core::IVerbindung::Digis);
}

QString TConnectionObject::path() const {
    return Text(&core::IVerbindung::Path);
}

QString TConnectionObject::realPath() const {
    return Text(&core::IVerbindung::RealPath);
}

int TConnectionObject::handle() const {
    const auto v = Live();
    return v ? v->Handle() : 0;
}

int TConnectionObject::stationType() const {
    const auto v = Live();
    return v ? v->StationType() : 0;
}

int TConnectionObject::state() const {
    const auto v = Live();
    return v ? v->State() : 0;
}

void TConnectionObject::Disconnect() {
    if (const auto v = Live()) Guarded(*this, [&] { v->Disconnect(); });
}

void TConnectionObject::SendText(const QString& Text) {
    if (const auto v = Live()) Guarded(*this, [&] { v->SendText(FromBus(Text)); });
}

void TConnectionObject::SendTextLine(const QString& Text) {
    if (const auto v = Live()) Guarded(*this, [&] { v->SendTextLine(FromBus(Text)); });
}

void TConnectionObject::WaitForText(const QString& Text) {
    setDelayedReply(true);
    server_.AnswerLater(
        message(),
        [&](const std::string& client, core::TApplications::Done done) {
            server_.Applications().WaitForText(client, serial_, FromBus(Text), std::move(done));
        },
        [](const QDBusMessage& call, const core::TApplications::TReply&) {
            return call.createReply();
        });
}

QString TConnectionObject::ReceiveText() {
    setDelayedReply(true);
    server_.AnswerLater(
        message(),
        [&](const std::string& client, core::TApplications::Done done) {
            server_.Applications().ReceiveText(client, serial_, std::move(done));
        },
        [](const QDBusMessage& call, const core::TApplications::TReply& r) {
            return call.createReply(ToBus(r.text));
        });
    return {};
}

// ---- the server ----------------------------------------------------------------------

TDBusServer::TDBusServer(QDBusConnection bus, std::shared_ptr<core::TApplications> applications)
    : bus_(std::move(bus)), applications_(std::move(applications)) {
    watcher_ = std::make_unique<QDBusServiceWatcher>(QString(), bus_,
                                                     QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            &TDBusServer::ClientGone);
    applications_->SetView(this);
}

TDBusServer::~TDBusServer() {
    applications_->SetView(nullptr);
    // Waiting clients get their answer while the bus is still there.
    applications_->Shutdown();
    for (auto& [serial, object] : connections_)
        bus_.unregisterObject(RootPath("/Connection/") + QString::number(serial));
    for (auto& s : snapshots_)
        bus_.unregisterObject(s.list->ObjectPath(), QDBusConnection::UnregisterTree);
    if (root_) bus_.unregisterObject(QString::fromLatin1(kRootPath));
}

bool TDBusServer::RegisterObjects() {
    root_ = std::make_unique<TApplicationObject>(*this);
    lastVisible_ = applications_->Visible();
    return bus_.registerObject(QString::fromLatin1(kRootPath), root_.get(), kExport);
}

void TDBusServer::NotifyVisible() {
    const bool now = applications_->Visible();
    if (now == lastVisible_) return;
    lastVisible_ = now;
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kRootPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.morvane.Tarvo.Application")
           << QVariantMap{{QStringLiteral("Visible"), now}} << QStringList();
    bus_.send(signal);
}

void TDBusServer::AnswerLater(const QDBusMessage& call, const Start& start, Answer answer) {
    const QString client = call.service();
    try {
        start(client.toStdString(),
              [this, call, answer = std::move(answer)](const core::TApplications::TReply& r) {
                  bus_.send(r.error.empty() ? answer(call, r) : Failure(call, r.error));
              });
    } catch (const std::exception& e) {
        bus_.send(Failure(call, e.what()));
    }
    Follow(client);
}

void TDBusServer::Follow(const QString& client) {
    if (client.isEmpty() || watcher_->watchedServices().contains(client)) return;
    if (!applications_->HasClient(client.toStdString()) &&
        std::none_of(snapshots_.begin(), snapshots_.end(),
                     [&](const TSnapshot& s) { return s.client == client; }))
        return;
    watcher_->addWatchedService(client);
    // It may have left before it was watched.
    if (!bus_.interface()->isServiceRegistered(client).value()) ClientGone(client);
}

void TDBusServer::ClientGone(const QString& client) {
    core::DebOutObj("TDBusServer", "ClientGone", client.toStdString());
    watcher_->removeWatchedService(client);
    applications_->RemoveClient(client.toStdString());
    std::erase_if(snapshots_, [&](const TSnapshot& s) {
        if (s.client != client) return false;
        bus_.unregisterObject(s.list->ObjectPath(), QDBusConnection::UnregisterTree);
        return true;
    });
}

QString TDBusServer::ConnectionPath(std::uint64_t serial) {
    const QString path = RootPath("/Connection/") + QString::number(serial);
    if (connections_.count(serial)) return path;
    try {
        applications_->Verbindung(serial);
    } catch (const core::TAutomationError&) {
        return path;  // already gone: nothing to show there
    }
    auto object = std::make_unique<TConnectionObject>(*this, serial);
    if (bus_.registerObject(path, object.get(), kExport)) connections_[serial] = std::move(object);
    return path;
}

QString TDBusServer::NewMyCalls(const QString& client, std::vector<std::string> calls) {
    const auto own = std::count_if(snapshots_.begin(), snapshots_.end(),
                                   [&](const TSnapshot& s) { return s.client == client; });
    if (static_cast<std::size_t>(own) >= kMaxSnapshotsPerClient) {
        const auto oldest = std::find_if(snapshots_.begin(), snapshots_.end(),
                                         [&](const TSnapshot& s) { return s.client == client; });
        bus_.unregisterObject(oldest->list->ObjectPath(), QDBusConnection::UnregisterTree);
        snapshots_.erase(oldest);
    }
    const QString path = RootPath("/MyCalls/") + QString::number(nextSnapshot_++);
    TSnapshot s;
    s.client = client;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        s.items.push_back(std::make_unique<TMyCallObject>(ToBus(calls[i])));
        bus_.registerObject(path + QLatin1Char('/') + QString::number(i), s.items.back().get(),
                            kExport);
    }
    s.list = std::make_unique<TMyCallsObject>(path, std::move(calls));
    bus_.registerObject(path, s.list.get(), kExport);
    snapshots_.push_back(std::move(s));
    return path;
}

void TDBusServer::TextReceived(std::uint64_t serial, std::string_view text) {
    if (const auto it = connections_.find(serial); it != connections_.end())
        emit it->second->TextReceived(ToBus(text));
}

void TDBusServer::LinkEnded(std::uint64_t serial) {
    if (const auto it = connections_.find(serial); it != connections_.end())
        emit it->second->Disconnected();
}

void TDBusServer::Released(std::uint64_t serial) {
    const auto it = connections_.find(serial);
    if (it == connections_.end()) return;
    bus_.unregisterObject(RootPath("/Connection/") + QString::number(serial));
    connections_.erase(it);
}

}  // namespace tarvo::automation
