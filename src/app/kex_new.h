#pragma once

#include "base/project_document.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

class RadioGroup;
class UiServices;

// "Project Setup": name, description, vehicle group and units of a project.
class TNewDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TNewDialog(UiServices& ui, QWidget* parent = nullptr);

    // Fills the fields; selecting a group here runs GroupRGrpClick like a click does.
    void preset(const ProjectAnswers& answers);
    // What the fields hold now; group -1 when no group is selected.
    ProjectAnswers answers() const;

    void GroupRGrpClick(int index);

    QLabel* Label1;
    QLineEdit* ProjectNameEdit;
    QLabel* Label2;
    QLineEdit* DescriptionEdit;
    RadioGroup* GroupRGrp;
    RadioGroup* UnitsRGrp;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
    QPushButton* HelpBtn;

  private:
    UiServices& ui_;
};

}  // namespace varnel
