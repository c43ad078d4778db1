#pragma once

#include <QDialog>

class QPushButton;

namespace keelwatch {

// The About box; "Close" hides it.
class AboutBox : public QDialog
{
    Q_OBJECT

  public:
    explicit AboutBox(QWidget *parent = nullptr);

    QPushButton *Button1;
};

} // namespace keelwatch
