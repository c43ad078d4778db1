#pragma once

#include <QDialog>

class QPushButton;

namespace keelwatch {

// The About box; "Close" hides it.
class TForm6 : public QDialog
{
    Q_OBJECT

  public:
    explicit TForm6(QWidget *parent = nullptr);

    QPushButton *Button1;
};

} // namespace keelwatch
