#pragma once

#include "report/eventwindows.h"
#include "report/syslogsender.h"

#include <QDateTime>
#include <QStringList>

#include <functional>

namespace keelwatch {

// Stands in for the windows and the syslog sender and writes every call into
// one journal, so tests see the order of the steps.
class RecordingOutputs : public EventWindows, public SyslogSink
{
  public:
    void BoundPane(int maxLines) override
    {
        journal << QStringLiteral("bound %1").arg(maxLines);
        while (pane.size() > maxLines)
            pane.removeFirst();
    }
    void AppendPaneLine(const QString &line) override
    {
        journal << QStringLiteral("pane ") + line;
        pane << line.split(QStringLiteral("\r\n"));
    }
    void Beep() override { journal << QStringLiteral("beep"); }
    void ShowAlertMessage(const QString &text) override
    {
        journal << QStringLiteral("alert ") + text;
    }
    void ShowMessageBox(const QString &text) override
    {
        journal << QStringLiteral("box ") + text;
        if (onMessageBox)
            onMessageBox();
    }
    void ShowDeliveryNote(const QString &text) override
    {
        journal << QStringLiteral("note ") + text;
    }
    void SendSyslog(const SyslogEvent &event) override
    {
        journal << QStringLiteral("syslog %1 ").arg(event.severity) + event.text;
        syslogEvents << event;
    }

    QStringList Matching(const QString &prefix) const
    {
        QStringList found;
        for (const QString &entry : journal)
            if (entry.startsWith(prefix))
                found << entry;
        return found;
    }

    QStringList journal;
    QStringList pane;
    QList<SyslogEvent> syslogEvents;
    // Runs while a message box would be open, as its event loop would.
    std::function<void()> onMessageBox;
};

} // namespace keelwatch
