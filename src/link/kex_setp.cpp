#include "kex_setp.h"

#include "base/widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPortInfo>

namespace varnel {

TSetupDialog::TSetupDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SetupDialog"));
    setWindowTitle(QStringLiteral("Setup"));
    setFixedSize(420, 230);

    ComPortRGrp = new RadioGroup(QStringLiteral("Com Port"),
                                 {QStringLiteral("COM 1"), QStringLiteral("COM 2"),
                                  QStringLiteral("COM 3"), QStringLiteral("COM 4")},
                                 this);
    ComPortRGrp->setObjectName(QStringLiteral("ComPortRGrp"));
    ComPortRGrp->setGeometry(8, 8, 100, 120);

    auto* portsLabel = new QLabel(QStringLiteral("Ports found"), this);
    portsLabel->setGeometry(120, 8, 290, 18);
    PortList = new QListWidget(this);
    PortList->setObjectName(QStringLiteral("PortList"));
    PortList->setGeometry(120, 28, 290, 100);

    auto* deviceLabel = new QLabel(QStringLiteral("Device"), this);
    deviceLabel->setGeometry(8, 142, 100, 22);
    DeviceEdit = new QLineEdit(this);
    DeviceEdit->setObjectName(QStringLiteral("DeviceEdit"));
    DeviceEdit->setGeometry(120, 142, 290, 22);
    DeviceEdit->setPlaceholderText(QStringLiteral("the COM port above"));

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    OKBtn->setGeometry(160, 190, 76, 26);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setAutoDefault(false);
    CancelBtn->setGeometry(246, 190, 76, 26);
    HelpBtn = new QPushButton(QStringLiteral("Help"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setAutoDefault(false);
    HelpBtn->setGeometry(332, 190, 76, 26);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Choosing a COM port means that port, not a device path left from before.
    for (int i = 0; i < ComPortRGrp->count(); ++i)
        connect(ComPortRGrp->button(i), &QRadioButton::clicked, DeviceEdit, &QLineEdit::clear);
    connect(PortList, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        DeviceEdit->setText(item->data(Qt::UserRole).toString());
    });
}

void TSetupDialog::refreshPorts() {
    PortList->clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString text = info.description().isEmpty()
                                 ? info.portName()
                                 : info.portName() + QStringLiteral(" - ") + info.description();
        auto* item = new QListWidgetItem(text, PortList);
        item->setData(Qt::UserRole, info.systemLocation());
    }
}

}  // namespace varnel
