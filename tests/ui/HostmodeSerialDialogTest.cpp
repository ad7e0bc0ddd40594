#include "ui/HostmodeSerialDialogU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/GeraeteDialogU.h"

using namespace tarvo;
using devices::TGeraetHostmodeSerial;
using devices::TGeraetHostmodeSerialParameter;
using Lines = std::vector<std::string>;

namespace {

// Runs act on the next modal window once it is up.
void OnModal(std::function<void(QWidget*)> act, int tries = 500) {
    QTimer::singleShot(10, [act, tries] {
        QWidget* w = QApplication::activeModalWidget();
        if (w && w->isVisible()) return act(w);
        if (tries > 0) return OnModal(act, tries - 1);
        ADD_FAILURE() << "no modal window";
    });
}

void Click(QWidget* w, const QString& caption) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == caption) return b->click();
    ADD_FAILURE() << "no button " << caption.toStdString();
}

std::shared_ptr<const TGeraetHostmodeSerialParameter> Param(std::string path, int anschluss,
                                                            int baud, Lines init = {},
                                                            Lines deinit = {}) {
    auto p = std::make_shared<TGeraetHostmodeSerialParameter>();
    p->Schnittstelle = std::move(path);
    p->Anschluss = anschluss;
    p->Kennzahl = anschluss;
    p->Baudrate = baud;
    p->InitBefehle = std::move(init);
    p->DeinitBefehle = std::move(deinit);
    return p;
}

// Replaces the port field's text as the operator would.
void TypePort(QComboBox* port, const QString& text) {
    port->lineEdit()->selectAll();
    QTest::keyClick(port->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(port->lineEdit(), text);
}

class HostmodeSerialDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::RegisterHostmodeSerialProperties();
        // A fault closes what stays open instead of hanging.
        guard_.setSingleShot(true);
        QObject::connect(&guard_, &QTimer::timeout, [] {
            ADD_FAILURE() << "modal window left open";
            while (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        guard_.start(10000);
    }
    void TearDown() override { guard_.stop(); }

    std::shared_ptr<TGeraetHostmodeSerial> NewDevice() {
        return std::make_shared<TGeraetHostmodeSerial>(ctx_);
    }

    // The settings dialog as the device list opens it.
    int OpenProperties(TGeraetHostmodeSerial& device) {
        const ui::TDeviceProperties properties =
            ui::FindDeviceProperties(TGeraetHostmodeSerial::kClassName);
        if (!properties) {
            ADD_FAILURE() << "no settings dialog registered";
            return -1;
        }
        return properties(device, nullptr);
    }

    devices::TGeraetContext ctx_;  // never started: nothing else is needed
    QTimer guard_;
};

}  // namespace

TEST_F(HostmodeSerialDialogTest, FieldsShowThePendingSettingsOverTheCurrentOnes) {
    struct Row {
        const char* name;
        std::shared_ptr<const TGeraetHostmodeSerialParameter> current;
        std::shared_ptr<const TGeraetHostmodeSerialParameter> pending;
        QString port;
        QString baud;
        QString init;
        QString deinit;
    };
    const auto running = Param("/dev/ttyUSB1", 102, 19200, {"I 1", "\xE4 x"}, {"Q"});
    const Row rows[] = {
        {"current only", running, nullptr, "/dev/ttyUSB1", "19200", "I 1\n\u00E4 x", "Q"},
        {"pending", running, Param("/dev/serial/by-id/usb-gone", 5000, 57600, {"P"}),
         "/dev/serial/by-id/usb-gone", "57600", "P", ""},
        {"no path: the port number's device", Param("", 3, 9600), nullptr, "/dev/ttyS2", "9600", "",
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto device = NewDevice();
        device->SetParameter(row.current);
        if (row.pending) device->SetNeueParameter(row.pending);
        ui::THostmodeSerialDialog dlg(*device);
        EXPECT_EQ(dlg.Anschluss()->currentText(), row.port);
        EXPECT_EQ(dlg.Baudrate()->currentText(), row.baud);
        EXPECT_EQ(dlg.Init()->toPlainText(), row.init);
        EXPECT_EQ(dlg.Deinit()->toPlainText(), row.deinit);
        EXPECT_TRUE(dlg.OkButton()->isEnabled());
    }
}

TEST_F(HostmodeSerialDialogTest, RateNotOfferedShowsNoneAndOkStoresTheDefault) {
    auto device = NewDevice();
    device->SetParameter(Param("/dev/ttyUSB0", 101, 1200));
    ui::THostmodeSerialDialog dlg(*device);
    dlg.show();
    EXPECT_EQ(dlg.Baudrate()->currentIndex(), -1);
    dlg.OkButton()->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(device->HasNeueParameter());
    EXPECT_EQ(device->ShownParameter()->Baudrate, 38400);
    EXPECT_EQ(device->ShownParameter()->Schnittstelle, "/dev/ttyUSB0");
}

TEST_F(HostmodeSerialDialogTest, OkHandsTheChosenRateAndTypedPathToTheDevice) {
    auto device = NewDevice();
    const auto running = Param("/dev/ttyS0", 1, 38400, {"I 1"});
    device->SetParameter(running);
    OnModal([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Hostmode - Eigenschaften"));
        auto* port = w->findChild<QComboBox*>(QStringLiteral("anschluss"));
        auto* baud = w->findChild<QComboBox*>(QStringLiteral("baudrate"));
        ASSERT_TRUE(port && baud);
        TypePort(port, QStringLiteral("/dev/ttyUSB3"));
        baud->setCurrentIndex(baud->findText(QStringLiteral("9600")));
        Click(w, QStringLiteral("OK"));
    });
    EXPECT_EQ(OpenProperties(*device), QDialog::Accepted);
    ASSERT_TRUE(device->HasNeueParameter());
    const auto p = device->ShownParameter();
    EXPECT_EQ(p->Schnittstelle, "/dev/ttyUSB3");
    EXPECT_EQ(p->Anschluss, 104);
    EXPECT_EQ(p->Kennzahl, 104);
    EXPECT_EQ(p->Baudrate, 9600);
    EXPECT_EQ(p->InitBefehle, running->InitBefehle);
    // The device runs on with its settings until the device list applies them.
    EXPECT_EQ(device->SerialParameter(), running);
    EXPECT_EQ(device->InfoText(), "/dev/ttyUSB3, 9600");
}

TEST_F(HostmodeSerialDialogTest, CommandLinesComeBackAsTheyWere) {
    const Lines cases[] = {
        {"I 1", "M UISC", "X 0"},
        {"  K  ", "", "\xE4\xF6\xFC\xDF"},  // blanks, an empty line, code page 1252
        {"A", ""},
        {},
    };
    for (const Lines& lines : cases) {
        SCOPED_TRACE(::testing::PrintToString(lines));
        auto device = NewDevice();
        device->SetParameter(Param("/dev/ttyUSB0", 101, 9600, lines, lines));
        ui::THostmodeSerialDialog dlg(*device);
        dlg.show();
        dlg.OkButton()->click();
        ASSERT_TRUE(device->HasNeueParameter());
        EXPECT_EQ(device->ShownParameter()->InitBefehle, lines);
        EXPECT_EQ(device->ShownParameter()->DeinitBefehle, lines);
    }
}

TEST_F(HostmodeSerialDialogTest, TypedLinesBecomeOneCommandEach) {
    auto device = NewDevice();
    device->SetParameter(Param("/dev/ttyUSB0", 101, 9600));
    ui::THostmodeSerialDialog dlg(*device);
    dlg.show();
    QTest::keyClicks(dlg.Init(), QStringLiteral("I DL1ABC"));
    QTest::keyClick(dlg.Init(), Qt::Key_Return);
    QTest::keyClicks(dlg.Init(), QStringLiteral("T 25"));
    QTest::keyClick(dlg.Init(), Qt::Key_Return, Qt::ShiftModifier);  // a line break of its own
    QTest::keyClicks(dlg.Init(), QStringLiteral("@T2 500"));
    QTest::keyClicks(dlg.Deinit(), QStringLiteral("JHOST0"));
    dlg.OkButton()->click();
    ASSERT_TRUE(device->HasNeueParameter());
    EXPECT_EQ(device->ShownParameter()->InitBefehle, (Lines{"I DL1ABC", "T 25", "@T2 500"}));
    EXPECT_EQ(device->ShownParameter()->DeinitBefehle, (Lines{"JHOST0"}));
}

TEST_F(HostmodeSerialDialogTest, FieldsBecomeTheNewSettings) {
    struct Row {
        ui::THostmodeSerialFields fields;
        std::string schnittstelle;
        int anschluss;
        int baud;
        Lines init;
    };
    const Row rows[] = {
        {{" /dev/ttyUSB3\t", 9600, "", ""}, "/dev/ttyUSB3", 104, 9600, {}},
        {{"/dev/ttyS0", 0, "A\r\nB\rC\nD", ""}, "/dev/ttyS0", 1, 38400, {"A", "B", "C", "D"}},
        {{"/dev/ttyACM1", 230400, "A\n", ""}, "/dev/ttyACM1", 202, 230400, {"A", ""}},
    };
    const auto shown = Param("/dev/ttyUSB0", 101, 19200, {"old"}, {"old"});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.schnittstelle);
        const auto p = ui::NewHostmodeSerialParameter(*shown, row.fields);
        EXPECT_EQ(p->Schnittstelle, row.schnittstelle);
        EXPECT_EQ(p->Anschluss, row.anschluss);
        EXPECT_EQ(p->Kennzahl, row.anschluss);
        EXPECT_EQ(p->Baudrate, row.baud);
        EXPECT_EQ(p->InitBefehle, row.init);
        EXPECT_TRUE(p->DeinitBefehle.empty());
    }
}

TEST_F(HostmodeSerialDialogTest, CancelKeepsWhatWasPendingBefore) {
    struct Row {
        const char* name;
        std::shared_ptr<const TGeraetHostmodeSerialParameter> pending;
        std::string info;
    };
    const Row rows[] = {
        {"nothing pending", nullptr, "-"},
        {"pending from before", Param("/dev/ttyUSB2", 103, 4800), "/dev/ttyUSB2, 4800"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto device = NewDevice();
        device->SetParameter(Param("/dev/ttyS0", 1, 38400));
        if (row.pending) device->SetNeueParameter(row.pending);
        OnModal([](QWidget* w) {
            auto* port = w->findChild<QComboBox*>(QStringLiteral("anschluss"));
            ASSERT_NE(port, nullptr);
            TypePort(port, QStringLiteral("/dev/ttyUSB7"));
            Click(w, QStringLiteral("Abbrechen"));
        });
        EXPECT_EQ(OpenProperties(*device), QDialog::Rejected);
        EXPECT_EQ(device->HasNeueParameter(), row.pending != nullptr);
        if (row.pending) {
            EXPECT_EQ(device->ShownParameter(), row.pending);
        }
        // The device list shows the info text after the dialog.
        EXPECT_EQ(device->InfoText(), row.info);
    }
}

TEST_F(HostmodeSerialDialogTest, OkNeedsAPort) {
    struct Row {
        QString typed;
        bool enabled;
    };
    const Row rows[] = {{"", false}, {"   ", false}, {"/dev/ttyS1", true}};
    auto device = NewDevice();
    device->SetParameter(Param("/dev/ttyS0", 1, 38400));
    ui::THostmodeSerialDialog dlg(*device);
    dlg.show();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed.toStdString());
        TypePort(dlg.Anschluss(), row.typed);
        EXPECT_EQ(dlg.OkButton()->isEnabled(), row.enabled);
    }

    // Return in the field is OK, but not while it is empty.
    TypePort(dlg.Anschluss(), QString());
    QTest::keyClick(dlg.Anschluss()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(device->HasNeueParameter());
    TypePort(dlg.Anschluss(), QStringLiteral("/dev/ttyS1"));
    QTest::keyClick(dlg.Anschluss()->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    ASSERT_TRUE(device->HasNeueParameter());
    EXPECT_EQ(device->ShownParameter()->Schnittstelle, "/dev/ttyS1");
}
