#pragma once

#include "report/commenttable.h"
#include "report/vendortable.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace keelwatch {

class TForm1;
class TForm2;
class TForm6;
class TForm8;
class TForm9;

// True when the windows can be shown: an X or Wayland display is set, or a
// platform was chosen with QT_QPA_PLATFORM or -platform.
bool DisplayAvailable(const QStringList &arguments);
// What the program prints instead of starting without a display.
extern const char NoDisplayText[];

// The windows, created once in start-up order: the main window with the
// vendor table and the comments, the Setup dialog (which restores the
// settings), the About box, the node viewer and the comment editor.
class Startup
{
  public:
    // arguments: the command line without the program name. programDir holds
    // oui.txt and comment.txt: the program's own folder unless a test gives
    // another.
    explicit Startup(const QStringList &arguments, const QString &programDir = QString());
    ~Startup();

    void Show();

    TForm1 &Form1() { return *form1; }
    TForm2 &Form2() { return *form2; }
    TForm6 &Form6() { return *form6; }
    TForm8 &Form8() { return *form8; }
    TForm9 &Form9() { return *form9; }
    VendorTable &Vendors() { return vendors; }
    CommentTable &Comments() { return comments; }

  private:
    void ConnectNodeTools();

    QString programDir;
    VendorTable vendors;
    CommentTable comments;
    std::unique_ptr<TForm1> form1;
    TForm2 *form2;
    TForm6 *form6;
    TForm8 *form8;
    TForm9 *form9;
};

} // namespace keelwatch
