#include "meter_fit_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace varnel {

MeterFitDialog::MeterFitDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MeterFitDialog"));
    setWindowTitle(QStringLiteral("Fit Curve"));
    CurveUnitCombo = new QComboBox(this);
    CurveUnitCombo->setObjectName(QStringLiteral("CurveUnitCombo"));
    CurveUnitCombo->addItems(CurveFlowUnitNames());
    CurveUnitCombo->setCurrentText(QStringLiteral("kg/h"));
    MeterUnitCombo = new QComboBox(this);
    MeterUnitCombo->setObjectName(QStringLiteral("MeterUnitCombo"));
    MeterUnitCombo->addItems({QStringLiteral("kg/h"), QStringLiteral("lb/h")});
    FrequencyCheckBox = new QCheckBox(QStringLiteral("Signal in hertz"), this);
    FrequencyCheckBox->setObjectName(QStringLiteral("FrequencyCheckBox"));
    RowsSpin = new QSpinBox(this);
    RowsSpin->setObjectName(QStringLiteral("RowsSpin"));
    RowsSpin->setRange(2, kMeterRows);
    RowsSpin->setValue(kMeterRows);
    PartNumberEdit = new QLineEdit(this);
    PartNumberEdit->setObjectName(QStringLiteral("PartNumberEdit"));
    PartNumberEdit->setMaxLength(kMeterPartNumberLength);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Curve flows in:"), CurveUnitCombo);
    form->addRow(QStringLiteral("Meter flows in:"), MeterUnitCombo);
    form->addRow(QString(), FrequencyCheckBox);
    form->addRow(QStringLiteral("Rows at most:"), RowsSpin);
    form->addRow(QStringLiteral("Part number:"), PartNumberEdit);
    form->addRow(Buttons);
}

void MeterFitDialog::preset(const QString& curveName, bool metric, bool frequency) {
    PartNumberEdit->setText(curveName);
    MeterUnitCombo->setCurrentIndex(metric ? 0 : 1);
    FrequencyCheckBox->setChecked(frequency);
}

MeterFitOptions MeterFitDialog::options() const {
    MeterFitOptions o;
    CurveFlowUnitOf(CurveUnitCombo->currentText(), o.unit);
    o.metric = MeterUnitCombo->currentIndex() == 0;
    o.frequency = FrequencyCheckBox->isChecked();
    o.rows = RowsSpin->value();
    return o;
}

QString MeterFitDialog::partNumber() const {
    return PartNumberEdit->text();
}

}  // namespace varnel
