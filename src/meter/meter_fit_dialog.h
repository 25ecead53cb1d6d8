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

    // Presets the choices; the part number is the editor's, or the curve's name without one.
    void preset(const QString& curveName, const QString& partNumber, bool metric, bool frequency);
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
