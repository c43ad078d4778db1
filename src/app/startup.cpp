#include "app/startup.h"

#include "config/adapterlist.h"

#include "ui/aboutbox.h"
#include "ui/mainwindow.h"
#include "ui/setupdialog.h"

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

Startup::Startup(const QStringList &arguments, std::shared_ptr<PacketDriver> packetDriver)
    : driver(std::move(packetDriver)), form1(std::make_unique<TForm1>(arguments)),
      form2(new TForm2(form1.get())), form6(new TForm6(form1.get()))
{
    // The Setup dialog restores the settings once its adapter list is
    // filled, so that the stored interface item can be selected.
    const AdapterList adapters = FillAdapterList(*driver);
    form2->ShowDriverVersion(adapters.panelText);
    form2->SetAdapterItems(adapters.items);
    form2->LoadSettings();

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
