// The automation server on a private session bus, driven by other bus
// connections as separate clients.
#include "automation/DBusServer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/SystemU.h"
#include "devices/GeraeteU.h"
#include "platform/Registry.h"
#include "platform/qt/QtDispatcher.h"
#include "tests/support/AutomationWorld.h"
#include "tests/support/FakeAgwpeEngine.h"
#include "tests/support/SystemHome.h"

using namespace std::chrono_literals;
using namespace tarvo;

namespace {

const QString kRoot = QStringLiteral("/org/morvane/Tarvo");
const QString kService = QStringLiteral("org.morvane.Tarvo");
const QString kApp = QStringLiteral("org.morvane.Tarvo.Application");
const QString kConn = QStringLiteral("org.morvane.Tarvo.Connection");
const QString kProps = QStringLiteral("org.freedesktop.DBus.Properties");

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "automation_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until done or the time is up.
bool Spin(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Records the signals a client receives.
class Listener : public QObject {
    Q_OBJECT
  public slots:
    void Got(const QDBusMessage& m) { messages.push_back(m); }

  public:
    std::vector<QDBusMessage> messages;
};

// A program on the bus with its own connection.
class Client {
  public:
    explicit Client(const QString& name)
        : name_(name), bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)) {}
    ~Client() { Leave(); }
    // Closes the connection: the program is gone from the bus.
    void Leave() {
        if (!bus_) return;
        bus_.reset();
        QDBusConnection::disconnectFromBus(name_);
    }
    QDBusConnection& Bus() { return *bus_; }
    QString UniqueName() const { return bus_->baseService(); }

    // Sends the call and returns at once; Wait gives the answer.
    QDBusPendingCall Start(const QString& path, const QString& iface, const QString& method,
                           const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
        m.setArguments(args);
        return bus_->asyncCall(m, 60000);
    }
    static QDBusMessage Wait(QDBusPendingCall& call) {
        Spin([&] { return call.isFinished(); }, 30s);
        return call.reply();
    }
    QDBusMessage Call(const QString& path, const QString& iface, const QString& method,
                      const QVariantList& args = {}) {
        QDBusPendingCall c = Start(path, iface, method, args);
        return Wait(c);
    }
    QVariant Property(const QString& path, const QString& iface, const QString& name) {
        const QDBusMessage r = Call(path, kProps, QStringLiteral("Get"), {iface, name});
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return {};
        return r.arguments().first().value<QDBusVariant>().variant();
    }

  private:
    QString name_;
    std::optional<QDBusConnection> bus_;
};

std::string ErrorOf(const QDBusMessage& m) {
    if (m.type() != QDBusMessage::ErrorMessage) return "(no error)";
    return (m.errorName() + QStringLiteral(": ") + m.errorMessage()).toStdString();
}

QString PathOf(const QDBusMessage& m) {
    if (m.type() != QDBusMessage::ReplyMessage || m.arguments().isEmpty()) return {};
    return m.arguments().first().value<QDBusObjectPath>().path();
}

std::string Failed(const char* text) {
    return std::string("org.morvane.Tarvo.Error.Failed: ") + text;
}

// The server on its own bus connection, owning the name.
class ServerOnBus {
  public:
    explicit ServerOnBus(std::shared_ptr<core::TApplications> apps)
        : name_(QStringLiteral("server-%1").arg(++count_)) {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name_);
        server_ = std::make_unique<automation::TDBusServer>(bus, std::move(apps));
        registered_ =
            server_->RegisterObjects() && bus.interface()->registerService(kService).value() ==
                                              QDBusConnectionInterface::ServiceRegistered;
    }
    ~ServerOnBus() {
        // The name is free again before the next test takes it.
        server_->Bus().interface()->unregisterService(kService);
        server_.reset();
        QDBusConnection::disconnectFromBus(name_);
    }
    bool Ok() const { return registered_; }
    automation::TDBusServer& Server() { return *server_; }

  private:
    static inline int count_ = 0;
    QString name_;
    std::unique_ptr<automation::TDBusServer> server_;
    bool registered_ = false;
};

class Automation : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server_.Ok()) << "the bus refused the server"; }

    // Connects through the scripted radio channel and brings the link up.
    QString Connected(Client& c, const QString& path) {
        QDBusPendingCall call = c.Start(kRoot, kApp, QStringLiteral("Connect"), {path});
        EXPECT_TRUE(Spin([&] { return world_.made.size() > made_; }));
        made_ = world_.made.size();
        world_.made.back()->SetState(core::kLinkConnected);
        return PathOf(Client::Wait(call));
    }

    bool appFirst_ = (App(), true);  // before anything of Qt
    platform::QtDispatcher dispatcher_;
    test::AutomationWorld world_{dispatcher_};
    ServerOnBus server_{world_.apps};
    std::size_t made_ = 0;
};

TEST_F(Automation, ConnectFailuresGiveTheirTexts) {
    Client c(QStringLiteral("a"));
    struct Case {
        std::vector<std::string> myCalls;
        bool radio;
        std::uint8_t result;
        QString path;
        const char* text;
    } cases[] = {
        {{}, true, 0, QStringLiteral("DB0ABC"), "No MyCall"},
        {{"DL1TST"}, false, 0, QStringLiteral("DB0ABC"), "No device"},
        {{"DL1TST"}, true, 0, QStringLiteral("DB0ABC\r//Q"), "Invalid path"},
        {{"DL1TST"}, true, 2, QStringLiteral("DB0ABC"), "Device timeout"},
        {{"DL1TST"}, true, 5, QStringLiteral("DB0ABC"), "No unused SSID available"},
        {{"DL1TST"}, true, 7, QStringLiteral("DB0ABC"), "No channel available"},
    };
    for (const auto& k : cases) {
        world_.myCalls = k.myCalls;
        world_.funk.clear();
        if (k.radio) world_.funk.push_back(world_.radio);
        world_.radio->result = k.result;
        EXPECT_EQ(ErrorOf(c.Call(kRoot, kApp, QStringLiteral("Connect"), {k.path})),
                  Failed(k.text));
    }
}

TEST_F(Automation, ConnectReturnsOnceTheAttemptEnds) {
    Client c(QStringLiteral("a"));
    QDBusPendingCall call =
        c.Start(kRoot, kApp, QStringLiteral("Connect"), {QStringLiteral("db0abc v db0xyz")});
    ASSERT_TRUE(Spin([&] { return !world_.made.empty(); }));
    // Still connecting: no answer, and the server goes on serving others.
    Client other(QStringLiteral("b"));
    EXPECT_EQ(other.Property(kRoot, kApp, QStringLiteral("Visible")).toBool(), false);
    EXPECT_FALSE(call.isFinished());
    world_.made.back()->SetState(core::kLinkDisconnected);  // no answer from the station
    const QString path = PathOf(Client::Wait(call));
    ASSERT_TRUE(path.startsWith(kRoot + QStringLiteral("/Connection/"))) << path.toStdString();
    EXPECT_EQ(c.Property(path, kConn, QStringLiteral("State")).toInt(), 0);
    EXPECT_EQ(c.Property(path, kConn, QStringLiteral("Path")).toString(),
              QStringLiteral("DB0ABC DB0XYZ"));
    // Released, the object goes.
    world_.made.back()->Release();
    EXPECT_TRUE(Spin([&] {
        return c.Call(path, kProps, QStringLiteral("Get"), {kConn, QStringLiteral("Call")})
                   .type() == QDBusMessage::ErrorMessage;
    }));
}

TEST_F(Automation, FindConnectionIgnoresCase) {
    Client c(QStringLiteral("a"));
    auto v = world_.Make("DB0ABC-3");
    world_.list.Add(v);
    const QString path =
        PathOf(c.Call(kRoot, kApp, QStringLiteral("FindConnection"), {QStringLiteral("db0abc-3")}));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_NE(path, QStringLiteral("/"));
    EXPECT_EQ(c.Property(path, kConn, QStringLiteral("Call")).toString(),
              QStringLiteral("DB0ABC-3"));
    EXPECT_EQ(
        PathOf(c.Call(kRoot, kApp, QStringLiteral("FindConnection"), {QStringLiteral("DB0ABC")})),
        QStringLiteral("/"));
}

TEST_F(Automation, MyCallsItemsAndTheirLimits) {
    Client c(QStringLiteral("a"));
    const QString list = PathOf(c.Call(kRoot, kApp, QStringLiteral("MyCalls")));
    ASSERT_FALSE(list.isEmpty());
    // A snapshot: later own callsigns do not change it.
    world_.myCalls.push_back("DK0NEW");
    const QString iface = QStringLiteral("org.morvane.Tarvo.MyCalls");
    EXPECT_EQ(c.Property(list, iface, QStringLiteral("Count")).toInt(), 2);
    struct Case {
        QVariant index;
        const char* call;  // nullptr: "buh!"
    } cases[] = {
        {QVariant(0), "DL1TST"},        {QVariant(QStringLiteral("1")), "DB0XYZ"},
        {QVariant(uchar(1)), "DB0XYZ"}, {QVariant(2), nullptr},  // Item(Count)
        {QVariant(-1), nullptr},        {QVariant(QStringLiteral("x")), nullptr},
        {QVariant(0.5), nullptr},       {QVariant(true), nullptr},
    };
    for (const auto& k : cases) {
        const QDBusMessage r = c.Call(list, iface, QStringLiteral("Item"),
                                      {QVariant::fromValue(QDBusVariant(k.index))});
        if (!k.call) {
            EXPECT_EQ(ErrorOf(r), Failed("buh!")) << k.index.toString().toStdString();
            continue;
        }
        const QString item = PathOf(r);
        EXPECT_EQ(
            c.Property(item, QStringLiteral("org.morvane.Tarvo.MyCall"), QStringLiteral("Call"))
                .toString()
                .toStdString(),
            k.call);
    }
    const QDBusMessage all = c.Call(list, iface, QStringLiteral("GetAll"));
    ASSERT_EQ(all.type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(qdbus_cast<QList<QDBusObjectPath>>(all.arguments().first()).size(), 2);
}

TEST_F(Automation, TwoClientsEachGetEveryItem) {
    Client a(QStringLiteral("a")), b(QStringLiteral("b"));
    const QString path = Connected(a, QStringLiteral("DB0ABC"));
    ASSERT_FALSE(path.isEmpty());
    Listener heard;
    ASSERT_TRUE(b.Bus().connect(kService, path, kConn, QStringLiteral("TextReceived"), &heard,
                                SLOT(Got(QDBusMessage))));
    QDBusPendingCall ra = a.Start(path, kConn, QStringLiteral("ReceiveText"));
    QDBusPendingCall rb = b.Start(path, kConn, QStringLiteral("ReceiveText"));
    ASSERT_TRUE(Spin([&] { return world_.apps->PendingCount() == 2; }));
    world_.made.back()->DataReceived(
        "Gr\xFC\xDF"
        "e\r");
    EXPECT_EQ(Client::Wait(ra).arguments().value(0).toString(), QStringLiteral("Grüße\r"));
    EXPECT_EQ(Client::Wait(rb).arguments().value(0).toString(), QStringLiteral("Grüße\r"));
    // Listeners hear every piece too, a NUL from the air made harmless.
    world_.made.back()->DataReceived(std::string("a\0b", 3));
    ASSERT_TRUE(Spin([&] { return heard.messages.size() == 2; }));
    EXPECT_EQ(heard.messages[1].arguments().value(0).toString(), QStringLiteral("a\uFFFDb"));
}

TEST_F(Automation, WaitForTextPutsTheRemainderBack) {
    Client c(QStringLiteral("a"));
    const QString path = Connected(c, QStringLiteral("DB0ABC"));
    QDBusPendingCall wait =
        c.Start(path, kConn, QStringLiteral("WaitForText"), {QStringLiteral("de SIMBOX>")});
    ASSERT_TRUE(Spin([&] { return world_.apps->PendingCount() == 1; }));
    world_.made.back()->DataReceived("Hallo de SIM");
    world_.made.back()->DataReceived("BOX> und mehr");
    const QDBusMessage done = Client::Wait(wait);
    EXPECT_EQ(done.type(), QDBusMessage::ReplyMessage) << ErrorOf(done);
    EXPECT_EQ(c.Call(path, kConn, QStringLiteral("ReceiveText")).arguments().value(0).toString(),
              QStringLiteral(" und mehr"));
}

TEST_F(Automation, AVanishedClientsCopyIsFreed) {
    Client a(QStringLiteral("a"));
    const QString path = Connected(a, QStringLiteral("DB0ABC"));
    auto v = world_.made.back();
    const std::string name = a.UniqueName().toStdString();
    v->DataReceived("kept for a\r");
    ASSERT_TRUE(world_.apps->HasClient(name));
    EXPECT_EQ(v->ApplicationBytes(1), 11u);
    a.Leave();
    EXPECT_TRUE(Spin([&] { return !world_.apps->HasClient(name); }));
    EXPECT_EQ(v->ApplicationBytes(1), 0u);
}

TEST_F(Automation, TextGoesOutInTheStationsCodePage) {
    Client c(QStringLiteral("a"));
    const QString path = Connected(c, QStringLiteral("DB0ABC"));
    auto v = world_.made.back();
    EXPECT_EQ(c.Call(path, kConn, QStringLiteral("SendText"), {QStringLiteral("Grüße ")}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(c.Call(path, kConn, QStringLiteral("SendTextLine"), {QStringLiteral("€")}).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_EQ(v->UserSendQueue().PopString(),
              "Gr\xFC\xDF"
              "e ");
    EXPECT_EQ(v->UserSendQueue().PopString(), "\x80\r");
    // What a device set up is not the client's to change.
    const QDBusMessage set =
        c.Call(path, kProps, QStringLiteral("Set"),
               {kConn, QStringLiteral("Handle"), QVariant::fromValue(QDBusVariant(7))});
    EXPECT_EQ(set.type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(v->Handle(), 0);
}

TEST_F(Automation, VisibleAnnouncesItsChange) {
    Client c(QStringLiteral("a"));
    Listener heard;
    ASSERT_TRUE(c.Bus().connect(kService, kRoot, kProps, QStringLiteral("PropertiesChanged"),
                                &heard, SLOT(Got(QDBusMessage))));
    struct Step {
        const char* method;
        bool visible;
    } steps[] = {{"Show", true}, {"Show", true}, {"Hide", false}};
    std::size_t expected = 0;
    bool was = false;
    for (const auto& s : steps) {
        EXPECT_EQ(c.Call(kRoot, kApp, QString::fromLatin1(s.method)).type(),
                  QDBusMessage::ReplyMessage);
        EXPECT_EQ(world_.visible, s.visible) << s.method;
        EXPECT_EQ(c.Property(kRoot, kApp, QStringLiteral("Visible")).toBool(), s.visible);
        if (s.visible != was) ++expected;
        was = s.visible;
        ASSERT_TRUE(Spin([&] { return heard.messages.size() >= expected; }, 5s)) << s.method;
    }
    // Only changes are announced, each with the new value (a signal sent before
    // this answer has arrived by then).
    c.Property(kRoot, kApp, QStringLiteral("Visible"));
    ASSERT_EQ(heard.messages.size(), 2u);
    const QVariantMap changed = qdbus_cast<QVariantMap>(heard.messages[1].arguments().value(1));
    EXPECT_EQ(changed.value(QStringLiteral("Visible")), QVariant(false));
}

TEST_F(Automation, BusctlShowsTheObjects) {
    Client c(QStringLiteral("a"));
    const QString path = Connected(c, QStringLiteral("DB0ABC"));
    const QString list = PathOf(c.Call(kRoot, kApp, QStringLiteral("MyCalls")));
    QProcess busctl;
    auto run = [&](const QStringList& args) {
        busctl.start(QStringLiteral("busctl"), args);
        Spin([&] { return busctl.state() == QProcess::NotRunning; }, 20s);
        return QString::fromUtf8(busctl.readAllStandardOutput());
    };
    const QString root =
        run({QStringLiteral("--user"), QStringLiteral("introspect"), kService, kRoot});
    for (const char* member : {"org.morvane.Tarvo.Application", ".Connect", ".FindConnection",
                               ".MyCalls", ".Show", ".Hide", ".Visible", ".Connections", ".OnTest"})
        EXPECT_TRUE(root.contains(QString::fromLatin1(member))) << member << "\n"
                                                                << root.toStdString();
    const QString conn =
        run({QStringLiteral("--user"), QStringLiteral("introspect"), kService, path});
    for (const char* member : {".WaitForText", ".ReceiveText", ".SendTextLine", ".Disconnect",
                               ".RealPath", ".StationType", ".TextReceived", ".Disconnected"})
        EXPECT_TRUE(conn.contains(QString::fromLatin1(member))) << member << "\n"
                                                                << conn.toStdString();
    const QString tree = run({QStringLiteral("--user"), QStringLiteral("tree"), kService});
    EXPECT_TRUE(tree.contains(path)) << tree.toStdString();
    EXPECT_TRUE(tree.contains(list + QStringLiteral("/1"))) << tree.toStdString();
}

// The whole program without a display, a device on the simulated packet
// engine, driven over the bus as the example script in docs/ drives it.
class AutomationSystem : public ::testing::Test {
  protected:
    bool appFirst_ = (App(), true);
    platform::QtDispatcher dispatcher_;
    test::SystemHome home_{dispatcher_, "tarvo-automation-"};
};

TEST_F(AutomationSystem, ConnectsSendsALineAndReadsTheAnswer) {
    test::FakeAgwpeEngine::Options options;
    options.answer = [](const std::string& station, const std::string& line, bool&) {
        return station == "ECHO" ? "echo: " + line + "\r" : std::string();
    };
    test::FakeAgwpeEngine engine(options);
    ASSERT_TRUE(engine.Ok());
    engine.AddStation("ECHO");
    std::error_code ec;
    const auto settings =
        platform::FileRegistry::Open(home_.WriteAgwpeSettings(engine.Port(), "N0CALL"), ec);
    ASSERT_TRUE(settings) << ec.message();
    core::TSystem system({*settings, dispatcher_, core::StartMode::Automation});
    ASSERT_EQ(system.Start(), std::nullopt);
    ASSERT_TRUE(Spin([&] { return !system.Geraete()->GetFunkKanaele(8).empty(); }));
    {
        ServerOnBus server(system.Applications());
        ASSERT_TRUE(server.Ok());
        Client c(QStringLiteral("script"));

        const QString path =
            PathOf(c.Call(kRoot, kApp, QStringLiteral("Connect"), {QStringLiteral("echo")}));
        ASSERT_FALSE(path.isEmpty());
        EXPECT_EQ(c.Property(path, kConn, QStringLiteral("State")).toInt(), 3);
        EXPECT_EQ(c.Property(path, kConn, QStringLiteral("MyCall")).toString(),
                  QStringLiteral("N0CALL"));
        // The list of running connections has it once the link's worker runs.
        EXPECT_TRUE(Spin([&] {
            return PathOf(c.Call(kRoot, kApp, QStringLiteral("FindConnection"),
                                 {QStringLiteral("Echo")})) == path;
        }));
        c.Call(path, kConn, QStringLiteral("SendTextLine"), {QStringLiteral("Hallo")});
        const QDBusMessage waited =
            c.Call(path, kConn, QStringLiteral("WaitForText"), {QStringLiteral("echo: ")});
        EXPECT_EQ(waited.type(), QDBusMessage::ReplyMessage) << ErrorOf(waited);
        EXPECT_EQ(c.Call(path, kConn, QStringLiteral("ReceiveText")).arguments().value(0),
                  QVariant(QStringLiteral("Hallo\r")));
        EXPECT_EQ(c.Call(path, kConn, QStringLiteral("Disconnect")).type(),
                  QDBusMessage::ReplyMessage);

        // A station that never answers: the call returns once the attempt is over.
        const QDBusMessage nobody =
            c.Call(kRoot, kApp, QStringLiteral("Connect"), {QStringLiteral("NOBODY")});
        const QString gone = PathOf(nobody);
        ASSERT_FALSE(gone.isEmpty()) << ErrorOf(nobody);
        const QVariant state = c.Property(gone, kConn, QStringLiteral("State"));
        EXPECT_TRUE(!state.isValid() || state.toInt() == 0) << state.toInt();
    }
    system.Shutdown();
}

}  // namespace

#include "AutomationTest.moc"
