#pragma once

#include <QString>

#include <array>

namespace keelwatch {

enum class FrameFormat { Ethernet2, Ieee8023 };

// The ten test addresses in their fixed order Br, B47, B16, B8, Gr, M0, M1,
// M3, SP1, SP2; test i has node table column (and source index) i + 2.
constexpr int TestCount = 10;
constexpr int FirstResultColumn = 2;
constexpr int LastResultColumn = FirstResultColumn + TestCount - 1;

// Every setting of the program as the windows hold it: the Setup dialog's
// controls and the main window's From, To, "Auto Scroll" and "Beep". Numbers
// stay text, as typed; the accessors below read them.
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
    std::array<bool, TestCount> tests{true,  true,  true,  true,  true,
                                      false, false, false, false, false};
    QString sp1Mac;
    QString sp2Mac;
    FrameFormat format = FrameFormat::Ethernet2;
    bool listMode = true;
    bool cyclic = true;
    QString scanTimer = QStringLiteral("5");
    QString packetNumber = QStringLiteral("3");
    QString nodeTimer = QStringLiteral("500");

    // Log
    QString logPath = QStringLiteral("keelwatch.log");
    bool tabDelimiter = true;
    bool syslog = false;
    QString syslogServer;

    // External command and columns
    QString command;
    bool showAll = false;

    // Whether the test address of a result column (2 to 11) is switched on.
    bool testEnabled(int column) const;
    // The adapter name: the text after the first " : " of the adapter item.
    QString adapterName() const;
    // The number fields as their exit rules would leave them.
    int scanTimerSeconds() const;
    int packetCount() const;
    int nodeTimerMs() const;
    QChar delimiter() const { return tabDelimiter ? QChar(u'\t') : QChar(u','); }
};

// The live settings, read where a value is needed: the Setup dialog in the
// program, a fixed value in tests and headless use. Read on the main thread;
// workers get a copy taken at Start.
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
