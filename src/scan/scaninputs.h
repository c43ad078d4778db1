#pragma once

#include "config/settings.h"
#include "scan/testaddresses.h"

#include <QList>
#include <QMetaType>
#include <QString>

#include <atomic>
#include <functional>

namespace keelwatch {

// What the workers of a scan read, taken at Start. The settings are a
// snapshot; the two flags belong to the main window and scan controller and
// must outlive the workers (ScanWorkers waits for them when it goes).
struct ScanInputs
{
    Settings settings;
    SourceMacs ProbeSourceMacs;
    quint32 RangeStart = 0;
    quint32 RangeEnd = 0;
    // 2 node-finding step, 3 scanning step; read afresh for every address.
    const std::atomic<int> *ScanStep = nullptr;
    // While set, the capture relay counts relayed replies into panel 7.
    const std::atomic<bool> *CaptureCounterShown = nullptr;
    // List Mode: how many node rows hold exactly this IP text. Called on
    // the sender's thread.
    std::function<int(const QString &ip)> nodeRowsWithIp;
    // Vendor name of a prefix such as "00:0C:29:". Called on the
    // analyser's thread.
    std::function<QString(const QString &prefix)> LookupVendor;
};

// One reply as the analyser decoded it, for ClassifyReply on the main thread.
struct DecodedReply
{
    QString ip;      // 192.168.0.7
    QString mac;     // 00:0C:29:AA:BB:CC
    int sourceIndex; // 0 to 15
    QString vendor;
};

// Status bar panels of the main window. Called on the main thread.
class StatusPanels
{
  public:
    virtual ~StatusPanels() = default;
    virtual void SetPanelText(int panel, const QString &text) = 0;
};

// Failure messages of the workers. Called on the main thread while the
// worker that raised the message waits; returns once the user has seen it.
class WorkerMessages
{
  public:
    virtual ~WorkerMessages() = default;
    virtual void ShowWorkerMessage(const QString &text) = 0;
};

} // namespace keelwatch

Q_DECLARE_METATYPE(keelwatch::DecodedReply)
