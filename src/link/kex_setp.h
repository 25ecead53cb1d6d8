#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace varnel {

class RadioGroup;

// Port options: one of COM 1 to COM 4, or any device path (a USB adapter, a pseudo-terminal),
// picked from the ports the system reports or typed. A device path, when given, is used instead
// of the COM port.
class TSetupDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TSetupDialog(QWidget* parent = nullptr);

    // Lists the serial ports the system reports now.
    void refreshPorts();

    RadioGroup* ComPortRGrp;
    QListWidget* PortList;
    QLineEdit* DeviceEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;
};

}  // namespace varnel
