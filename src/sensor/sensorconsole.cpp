#include "sensor/sensorconsole.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

SensorConsole::SensorConsole(FixedSettings &settings, Printer printError)
    : settings(settings), printError(std::move(printError))
{
}

void SensorConsole::ShowScanPhase(ScanPhase phase)
{
    if (phase == ScanPhase::Ready && scanEnded)
        scanEnded();
}

void SensorConsole::ShowMessage(const QString &text)
{
    Tell(text);
}

void SensorConsole::ShowSetup()
{
    // The desktop program opens Setup on an own MAC or test address it
    // cannot use; here that address came from a settings file.
    Tell(u"The own MAC or an S1/S2 address of the settings cannot be used."_s);
}

void SensorConsole::SwitchBrOn()
{
    settings.values.tests[size_t(TestIndex(u"Br"))] = true;
}

void SensorConsole::SetRangeText(bool to, const QString &text)
{
    (to ? settings.values.to : settings.values.from) = text;
}

void SensorConsole::ShowWorkerMessage(const QString &text)
{
    Tell(text);
}

void SensorConsole::ShowAlertMessage(const QString &text)
{
    // Log failures stay a warning: the scan and syslog go on.
    printError(QString(text).replace(u"\r\n"_s, u" "_s));
}

void SensorConsole::ShowMessageBox(const QString &text)
{
    printError(text);
}

void SensorConsole::Tell(const QString &text)
{
    failed = true;
    printError(QString(text).replace(u"\r\n"_s, u" "_s).replace(u'\n', u' '));
}

} // namespace keelwatch
