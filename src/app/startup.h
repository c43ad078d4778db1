#pragma once

#include "scan/pcapdriver.h"

#include <QStringList>

#include <memory>

namespace keelwatch {

class TForm1;
class TForm2;
class TForm6;

// True when the windows can be shown: an X or Wayland display is set, or a
// platform was chosen with QT_QPA_PLATFORM or -platform.
bool DisplayAvailable(const QStringList &arguments);
// What the program prints instead of starting without a display.
extern const char NoDisplayText[];

// The windows, created once in start-up order: the main window, the Setup
// dialog (which asks the packet driver for its adapters and then restores
// the settings), the About box.
class Startup
{
  public:
    // arguments: the command line without the program name.
    explicit Startup(const QStringList &arguments,
                     std::shared_ptr<PacketDriver> driver = std::make_shared<PcapDriver>());
    ~Startup();

    void Show();

    TForm1 &Form1() { return *form1; }
    TForm2 &Form2() { return *form2; }
    TForm6 &Form6() { return *form6; }
    const std::shared_ptr<PacketDriver> &Driver() const { return driver; }

  private:
    std::shared_ptr<PacketDriver> driver;
    std::unique_ptr<TForm1> form1;
    TForm2 *form2;
    TForm6 *form6;
};

} // namespace keelwatch
