#pragma once

#include <QString>
#include <QWidget>
#include <gtest/gtest.h>

namespace tovarine::test {

// The child widget of type T named `name` under `panel`; a test failure (and null) when there is none.
template <class T> T* child(QWidget& panel, const char* name)
{
    T* widget = panel.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace tovarine::test
