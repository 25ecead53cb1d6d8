#pragma once

#include "meter/meter_fit.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QSpinBox;

namespace varnel {

// What the meter editor's Fit Curve asks before it fits: the curve's flow unit, the meter's
// unit and signal kind, how many rows and the part number.
class MeterFitDialog : public QDialog {
    Q_OBJECT
  public:
    explicit MeterFitDialog(QWidget* parent = nullptr);

    // Presets the choices: the part number the curve's name, the meter's units and signal kind
    // as the editor shows them.
    void preset(const QString& curveName, bool metric, bool frequency);
    MeterFitOptions options() const;
    QString partNumber() const;

    // Controls, named as their objectName.
    QComboBox* CurveUnitCombo;
    QComboBox* MeterUnitCombo;
    QCheckBox* FrequencyCheckBox;
    QSpinBox* RowsSpin;
    QLineEdit* PartNumberEdit;
    QDialogButtonBox* Buttons;
};

}  // namespace varnel
