// The question before sending: preselected from the station, and text never split.
#include "ui/DlgSendeOptionenU.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>

#include "tests/ui/WidgetLookup.h"

using namespace tarvo;

namespace {

TEST(DlgSendeOptionen, PreselectedChosenOrCancelled) {
    struct Case {
        filesend::TSendeOptionen preset;
        int chooseIndex;  // -1 keeps the preselection
        int partSize;
        const char* button;
        std::optional<filesend::TSendeOptionen> out;
    } cases[] = {
        {{filesend::kProtokollAutobin, 0}, -1, -1, "OK", {{filesend::kProtokollAutobin, 0}}},
        {{filesend::kProtokollAutobin, 0}, 2, 100, "OK", {{filesend::kProtokollDidadit, 100}}},
        // Text goes whole, whatever the part size said.
        {{filesend::kProtokollDidadit, 50}, 0, -1, "OK", {{filesend::kProtokollText, 0}}},
        {{filesend::kProtokollDidadit, 0}, 1, 10, "Abbrechen", std::nullopt},
    };
    for (const Case& c : cases) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            ASSERT_NE(w, nullptr);
            seen = true;
            auto* protokoll = w->findChild<QComboBox*>(QStringLiteral("Protokoll"));
            auto* teil = w->findChild<QSpinBox*>(QStringLiteral("Teilgroesse"));
            EXPECT_EQ(protokoll->currentData().toInt(), c.preset.protokoll);
            EXPECT_EQ(teil->value(), c.preset.partSizeKiB);
            if (c.chooseIndex >= 0) protokoll->setCurrentIndex(c.chooseIndex);
            EXPECT_EQ(teil->isEnabled(), protokoll->currentData().toInt() != 1);
            if (c.partSize >= 0) teil->setValue(c.partSize);
            test::Click(w, QString::fromLatin1(c.button));
        });
        EXPECT_EQ(ui::AskSendeOptionen(nullptr, c.preset), c.out);
        EXPECT_TRUE(seen);
    }
}

}  // namespace
