// The settings dialog of the AGWPE device.
#include "ui/AgwpeDialogU.h"

#include <gtest/gtest.h>

#include <QLineEdit>

namespace {

using namespace tarvo;

TEST(AgwpeDialog, FieldsBecomeTheSettings) {
    struct Case {
        std::string port;
        int expected;
    };
    for (const Case& c :
         {Case{"8001", 8001}, Case{" 9000 ", 9000}, Case{"", 8000}, Case{"abc", 8000},
          Case{"80x", 8000}, Case{"70000", 8000}, Case{"0", 8000}, Case{"-5", 8000}}) {
        SCOPED_TRACE(c.port);
        const auto p = ui::NewAgwpeParameter(" host ", c.port, "u", "p");
        EXPECT_EQ(p.Port, c.expected);
        EXPECT_EQ(p.Hostname, "host");
        EXPECT_EQ(p.Username, "u");
        EXPECT_EQ(p.Password, "p");
    }
}

TEST(AgwpeDialog, ShowsAndChangesTheSettingsAtOnce) {
    // The QApplication comes from the environment in MessageboxTest.cpp.
    devices::TGeraetContext ctx;
    devices::TGeraetAgwpe device(ctx);
    devices::TGeraetAgwpeParameter p;
    p.Hostname = "engine";
    p.Port = 8010;
    device.SetParameter(p);
    {
        ui::TAgwpeDialog dlg(device);
        EXPECT_EQ(dlg.windowTitle(), QStringLiteral("AGWPE - Eigenschaften"));
        EXPECT_EQ(dlg.Host()->text(), QStringLiteral("engine"));
        EXPECT_EQ(dlg.Port()->text(), QStringLiteral("8010"));
        EXPECT_EQ(dlg.Password()->echoMode(), QLineEdit::Password);
        dlg.Port()->setText(QStringLiteral("8011"));
        dlg.User()->setText(QStringLiteral("op"));
        dlg.reject();
    }
    EXPECT_EQ(device.Parameter().Port, 8010) << "cancel changes nothing";
    {
        ui::TAgwpeDialog dlg(device);
        dlg.Port()->setText(QStringLiteral("8011"));
        dlg.User()->setText(QStringLiteral("op"));
        dlg.accept();
    }
    EXPECT_EQ(device.Parameter().Port, 8011);
    EXPECT_EQ(device.Parameter().Username, "op");
}

}  // namespace
