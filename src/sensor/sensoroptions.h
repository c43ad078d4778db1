#pragma once

#include "config/settings.h"

#include <QString>
#include <QStringList>

namespace keelwatch {

// What the sensor runs with: the scan and log settings as the desktop
// program keeps them, and the sensor's own switches.
struct SensorOptions
{
    Settings settings;
    bool json = false;
    bool once = false;
};

struct SensorCommand
{
    enum class Action { Run, Help, Version, Refuse };
    Action action = Action::Refuse;
    SensorOptions options;
    // The help or version text, or why the command line was refused.
    QString text;
};

// Reads the command line (program name first). adapters are the interfaces
// with an IPv4 address; an Ethernet one is chosen among them. Every value,
// also one from a settings file, is parsed and checked here, so that a bad
// one is refused, named, before anything is opened or sent.
SensorCommand ParseSensorCommand(const QStringList &arguments, const NetworkAdapters &adapters);

} // namespace keelwatch
