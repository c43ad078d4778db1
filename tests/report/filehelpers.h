#pragma once

#include "config/addresstext.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

// Test files written and read whole, and a sink that keeps what it is told.
inline QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

inline void WriteFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

struct MessageRecorder
{
    QStringList messages;
    keelwatch::MessageSink Sink()
    {
        return [this](const QString &m) { messages.append(m); };
    }
};
