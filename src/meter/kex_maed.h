#pragma once

#include <QDialog>

namespace varnel {

class TMassAirEditorDialog : public QDialog {
    Q_OBJECT
public:
    explicit TMassAirEditorDialog(QWidget* parent = nullptr);
};

}  // namespace varnel
