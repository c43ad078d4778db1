#pragma once

#include <QDialog>

class QTextEdit;

namespace keelwatch {

// The small alert window: one message of the event log's file handling at a
// time, shown without blocking and above the other windows.
class AlertMessageWindow : public QDialog
{
    Q_OBJECT

  public:
    explicit AlertMessageWindow(QWidget *parent = nullptr);

    // Replaces the text (each line centred) and shows the window.
    void ShowAlertMessage(const QString &text);

  private:
    QTextEdit *messageText;
};

} // namespace keelwatch
