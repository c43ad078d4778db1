#pragma once

#include <QDialog>

class QTextBrowser;

namespace keelwatch {

// Help, "Contents" (F1): what the marks, the colours, the test addresses and
// the verdicts mean, and the keys; a page built into the program, so it is
// there wherever the program is. Shown without blocking.
class HelpWindow : public QDialog
{
    Q_OBJECT

  public:
    // The sections ShowSection takes.
    static constexpr const char *Sections[] = {"marks", "colours", "tests", "verdicts", "keys"};

    explicit HelpWindow(QWidget *parent = nullptr);

    // Shows the page scrolled to a section ("marks", ...); empty: the top.
    void ShowSection(const QString &section);

  private:
    QTextBrowser *page;
};

// The help page as HTML.
QString HelpPage();

} // namespace keelwatch
