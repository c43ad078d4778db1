#pragma once

#include <QObject>
#include <QString>
#include <gtest/gtest.h>

// A control by its objectName; a test that names a missing control fails.
template <typename T> T *Find(const QObject &parent, const char *name)
{
    T *found = parent.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << "no control named " << name;
    return found;
}
