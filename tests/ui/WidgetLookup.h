// Finding and pressing a window's buttons by their captions.
#pragma once

#include <gtest/gtest.h>

#include <QPushButton>
#include <QString>
#include <QWidget>

namespace tarvo::test {

inline QPushButton* Button(QWidget* w, const QString& caption) {
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == caption) return b;
    ADD_FAILURE() << "no button " << caption.toStdString();
    return nullptr;
}

inline void Click(QWidget* w, const QString& caption) {
    if (QPushButton* b = Button(w, caption)) b->click();
}

}  // namespace tarvo::test
