#include "app/commandline.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

CommandLineRequest ReadCommandLine(const QStringList &arguments)
{
    if (arguments.contains(u"-h"_s) || arguments.contains(u"--help"_s))
        return CommandLineRequest::Help;
    if (arguments.contains(u"-v"_s) || arguments.contains(u"--version"_s))
        return CommandLineRequest::Version;
    return CommandLineRequest::Run;
}

QString HelpText()
{
    return u"Usage: keelwatch [auto] [Qt options]\n"
           u"Finds the hosts of the local Ethernet segment whose network card is in\n"
           u"promiscuous mode.\n"
           u"\n"
           u"  auto           start a scan with the stored settings ten seconds after launch\n"
           u"  -h, --help     print this help and exit\n"
           u"  -v, --version  print the version and exit\n"
           u"\n"
           u"Qt's options, such as -platform NAME or -display DISPLAY, are accepted too.\n"
           u"The program needs a display (X11 or Wayland); without one it exits with\n"
           u"status 2. xvfb-run -a keelwatch gives it a virtual one.\n"_s;
}

QString VersionText()
{
    return u"keelwatch " KEELWATCH_VERSION "\n"_s;
}

bool DisplayAvailable(const QStringList &arguments)
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || arguments.contains(u"-platform"_s) ||
           arguments.contains(u"-display"_s);
}

QString NoDisplayLine()
{
    return u"keelwatch: no display is set (DISPLAY and WAYLAND_DISPLAY are empty); run it in a "
           u"desktop session, over ssh -X, or as xvfb-run -a keelwatch\n"_s;
}

QString UnreachableDisplayLine(const QString &reason)
{
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        display = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString line = u"keelwatch: cannot open the display"_s;
    if (!display.isEmpty())
        line += u" \""_s + display + u'"';
    if (!reason.isEmpty())
        line += u" ("_s + reason.simplified() + u')';
    return line + u"; check DISPLAY, or run it as xvfb-run -a keelwatch\n"_s;
}

namespace {

struct KeptMessage
{
    QtMsgType type;
    // Literals of the code that logged, so they outlive the message.
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString text;
};

// The guard's state: a message handler has no context of its own.
QtMessageHandler previousHandler = nullptr;
std::vector<KeptMessage> keptMessages;

void KeepOrEnd(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        keptMessages.push_back(
            {type, context.file, context.line, context.function, context.category, message});
        return;
    }
    // The toolkit's first warning names what failed ("could not connect to
    // display"); its fatal text only talks about plugins.
    const QString reason = keptMessages.empty() ? message : keptMessages.front().text;
    std::fputs(UnreachableDisplayLine(reason).toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    std::_Exit(NoDisplayStatus);
}

} // namespace

DisplayOpenGuard::DisplayOpenGuard()
{
    previousHandler = qInstallMessageHandler(KeepOrEnd);
}

DisplayOpenGuard::~DisplayOpenGuard()
{
    Release();
}

void DisplayOpenGuard::Release()
{
    if (!std::exchange(held, false))
        return;
    qInstallMessageHandler(previousHandler);
    for (const KeptMessage &kept : keptMessages) {
        const QMessageLogContext context(kept.file, kept.line, kept.function, kept.category);
        qt_message_output(kept.type, context, kept.text);
    }
    keptMessages.clear();
}

} // namespace keelwatch
