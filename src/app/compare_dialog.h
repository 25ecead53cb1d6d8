#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace varnel {

struct ProjectDiff;

// The differences between the project and the box, one row each as DiffRows words them: shown
// by Box > Compare with Box, and as the question before Box > Update Changes and Box > Restore
// Backup write anything.
class TCompareDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TCompareDialog(QWidget* parent = nullptr);

    // Compare with Box: the differences, or "The box holds the project's data."; SaveBoxBtn
    // and CloseBtn.
    void ShowComparison(const ProjectDiff& diff);
    // The question before a write: Yes (accept) or No, the bytes to write under aTitle against
    // the box's, and the backup that keeps what the box held.
    void ShowQuestion(const QString& question, const ProjectDiff& diff, const QString& aTitle,
                      const QString& backupPath);

    QLabel* IconLabel;
    QLabel* TextLabel;
    QTreeWidget* DiffList;
    QLabel* NoteLabel;
    QPushButton* SaveBoxBtn;
    QPushButton* CloseBtn;
    QPushButton* YesBtn;
    QPushButton* NoBtn;

  private:
    void fill(const ProjectDiff& diff, const QString& aTitle);
};

}  // namespace varnel
