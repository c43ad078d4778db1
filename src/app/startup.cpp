#include "app/startup.h"

#include "report/eventlog.h"
#include "report/syslogsender.h"
#include "ui/aboutbox.h"
#include "ui/alertmessage.h"
#include "ui/eventwindowsadapter.h"
#include "ui/mainwindow.h"
#include "ui/promiscuousalert.h"
#include "ui/setupdialog.h"

#include <QAction>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

void ShowModeless(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

const char NoDisplayText[] =
    "Keelwatch is a desktop program and needs a display, and none is set here.\n"
    "Give it one in either of these ways:\n"
    "  - log in with X forwarding:   ssh -X user@this-host, then run it again\n"
    "  - use a virtual display:      xvfb-run -a keelwatch\n";

bool DisplayAvailable(const QStringList &arguments)
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || arguments.contains(u"-platform"_s);
}

Startup::Startup(const QStringList &arguments)
    : form1(std::make_unique<TForm1>(arguments)), form2(new TForm2(form1.get())),
      form6(new TForm6(form1.get()))
{
    // The Setup dialog restores the settings once its adapter list is filled.
    form2->LoadSettings();
    form7 = new TForm7(form1.get());
    form10 = new TForm10(form1->Nodes(), clock, form1.get());

    eventWindows =
        std::make_unique<EventWindowsAdapter>(form1->Memo1, form7, form2->Edit9, form1.get());
    syslog = std::make_unique<SyslogSender>(*form2, *eventWindows);
    events = std::make_unique<EventLog>(*form2, form1->Nodes(), clock, *eventWindows, *syslog);

    QObject::connect(form1->N8, &QAction::triggered, form10, &TForm10::ShowIfHoldsLines);

    QObject::connect(form1.get(), &TForm1::setupRequested, form2, [this] { ShowModeless(form2); });
    QObject::connect(form1.get(), &TForm1::aboutRequested, form6, [this] { ShowModeless(form6); });
    // The Setup dialog's close query runs first at exit: the settings are
    // saved whether or not the dialog was ever shown.
    QObject::connect(form1.get(), &TForm1::closing, form2, &TForm2::SaveSettings);
}

Startup::~Startup() = default;

void Startup::Show()
{
    form1->show();
}

} // namespace keelwatch
