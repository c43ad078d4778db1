#pragma once

#include <QDialog>

namespace keelwatch {

// The About box; "Close" hides it.
class AboutBox : public QDialog
{
    Q_OBJECT

  public:
    explicit AboutBox(QWidget *parent = nullptr);
};

} // namespace keelwatch
