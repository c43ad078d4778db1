#pragma once

#include "config/testaddresses.h"

#include <QString>

#include <optional>

namespace keelwatch {

enum class FrameFormat { Ethernet2, Ieee8023 };
enum class SyslogTransport { Udp, Tcp, Tls };

// The bounds of the syslog number settings.
inline constexpr int MinSyslogSpoolKib = 16;
inline constexpr int MaxSyslogSpoolKib = 65536;
inline constexpr int MinSyslogMessageBytes = 480;
inline constexpr int MaxSyslogMessageBytes = 65000;

// The transport named by text ("udp", "tcp", "tls", any case), nothing for
// any other text.
std::optional<SyslogTransport> SyslogTransportNamed(const QString &text);

// Every setting of the program: the Setup dialog's values and the main
// window's From, To, "Auto Scroll" and "Beep". Numbers stay text, as typed;
// the accessors below read them. The initialisers are the first-run values.
// A stored setting also needs its entry in the settings store's table.
struct Settings
{
    // Main window
    QString from;
    QString to;
    bool autoScroll = true;
    bool beep = false;

    // Own PC
    QString adapterItem; // the selected "IPv4 : name" item, empty for none
    QString ownIp;
    QString ownMac = QStringLiteral("00 11 22 33 44 50");

    // Scan options
    TestFlags tests = DefaultTestFlags();
    QString sp1Mac;
    QString sp2Mac;
    FrameFormat format = FrameFormat::Ethernet2;
    bool listMode = true;
    bool cyclic = true;
    // Suspects get confirmation probes; only confirmed ones raise alerts.
    bool confirmSuspects = true;
    QString scanTimer = QStringLiteral("5");
    QString packetNumber = QStringLiteral("3");
    QString nodeTimer = QStringLiteral("500");
    // Frames per second of a rate-paced sweep; 0 (or empty, as in a store
    // written before pacing existed) paces by the Node Timer instead.
    QString sendRate = QStringLiteral("2000");

    // Log. Both delimiter choices may be off (a damaged store): a comma then.
    QString logPath = QStringLiteral("keelwatch.log");
    bool tabDelimiter = true;
    bool commaDelimiter = false;
    bool syslog = false;
    QString syslogServer;
    // RFC 5424 with the event's fields as structured data instead of the BSD
    // form (RFC 3164) existing collectors expect.
    bool syslogRfc5424 = false;
    // "udp" (the datagrams collectors have always taken), "tcp" (octet
    // counted, RFC 6587) or "tls" (RFC 5425).
    QString syslogTransport = QStringLiteral("udp");
    // PEM files for TLS: the authorities the server's certificate must chain
    // to (empty: the system's), and an optional client certificate with its
    // private key in the same file.
    QString syslogCaFile;
    QString syslogCertFile;
    // KiB of undelivered TCP/TLS messages kept on disk while the server is away.
    QString syslogSpoolKib = QStringLiteral("1024");
    // Longest RFC 5424 message in bytes; 2048 is what every receiver takes.
    QString syslogMaxBytes = QStringLiteral("2048");

    // External command and columns
    QString command;
    bool showAll = false;

    // The main window's place and size (QWidget::saveGeometry in base64);
    // empty until the first exit.
    QString windowGeometry;

    bool operator==(const Settings &) const = default;

    // Whether the test address of a result column (2 to 11) is switched on.
    bool TestEnabled(int column) const;
    // Destination MAC text of the test address of a result column: the fixed
    // address, or the SP1/SP2 text.
    QString TestDestination(int column) const;
    // The adapter name: the text after the first " : " of the adapter item.
    QString AdapterName() const;
    // The number fields as their exit rules would leave them.
    int ScanTimerSeconds() const;
    int PacketCount() const;
    int NodeTimerMs() const;
    // 0 when rate pacing is off.
    int SendRatePerSecond() const;
    // How long one sweep of the From-To range with every switched-on test
    // takes: addresses x frames / rate, or addresses x Node Timer. Nothing
    // when the range is not two addresses in order.
    std::optional<double> EstimatedSweepSeconds() const;
    SyslogTransport Transport() const;
    // The number fields of syslog, clamped to their ranges.
    qint64 SyslogSpoolBytes() const;
    int SyslogMessageLimit() const;
    QChar Delimiter() const { return tabDelimiter ? QChar(u'\t') : QChar(u','); }
};

// The live settings, read where a value is needed: the settings model in the
// program, a fixed value in tests. Read on the main thread; workers get a
// copy taken at Start.
class LiveSettings
{
  public:
    virtual ~LiveSettings() = default;
    virtual Settings Read() const = 0;
};

class FixedSettings : public LiveSettings
{
  public:
    FixedSettings() = default;
    explicit FixedSettings(Settings s) : values(std::move(s)) {}
    Settings Read() const override { return values; }
    Settings values;
};

} // namespace keelwatch
