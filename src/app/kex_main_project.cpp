#include "app/kex_main.h"
#include "app/kex_new.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "base/widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace varnel {

namespace {

const QString kProjectFilter = QStringLiteral("*.KEX");

// The document's view of the main window: each setter goes through the real control, so the
// control's own change handler runs as it does for the user.
class MainFormControls : public ProjectControls {
  public:
    explicit MainFormControls(TMainForm& form) : f_(form) {}

    int outputIndex() const override { return f_.OutputRGrp->itemIndex(); }
    void selectOutput(int index) override {
        // A value being typed belongs to the kind it was typed under.
        if (index != f_.OutputRGrp->itemIndex()) f_.FinishEdits();
        f_.OutputRGrp->setItemIndex(index);
    }
    QString limitText() const override { return f_.LimitEdit->text(); }
    void setLimitText(const QString& text) override { f_.LimitEdit->setText(text); }
    bool invertChecked() const override { return f_.InvertCBox->isChecked(); }
    void setInvertChecked(bool on) override { f_.InvertCBox->setChecked(on); }
    void showPot(int pot, const QString& text) override {
        f_.PotEdits.at(size_t(pot - 1))->setText(text);
    }
    void drawTableChart() override { f_.DrawTableChart(); }
    void updateChartPoint(int entry, const QString& text) override {
        f_.UpdateChartPoint(entry, text);
    }
    void updateControls() override { f_.UpdateControls(); }
    void repaintTableGrid() override { f_.RepaintTableGrid(); }
    void repaintHexGrid() override { f_.EEPROMGrid->refresh(); }
    bool connectBox() override { return f_.ConnectBox(); }

  private:
    TMainForm& f_;
};

}  // namespace

ProjectDocument& TMainForm::document() {
    if (!document_) {
        projectControls_ = std::make_unique<MainFormControls>(*this);
        document_ = std::make_unique<ProjectDocument>(state_, ui_, *projectControls_);
    }
    return *document_;
}

void TMainForm::wireProjectHandlers() {
    connect(FileNew, &QAction::triggered, this, &TMainForm::FileNewClick);
    connect(FileOpen, &QAction::triggered, this, &TMainForm::FileOpenClick);
    connect(FileSave, &QAction::triggered, this, &TMainForm::FileSaveClick);
    connect(FileSaveAs, &QAction::triggered, this, &TMainForm::FileSaveAsClick);
    connect(FileClose, &QAction::triggered, this, &TMainForm::FileCloseClick);
    connect(EditProject, &QAction::triggered, this, &TMainForm::EditProjectClick);
    document().replacing = [this] { projectReplacing(); };
}

void TMainForm::projectReplacing() {
    // Before the Connect of a New or a load lets other events run: an Undo pressed then must
    // find nothing of the old project to apply to the new one.
    FinishEdits();
    history().clear();
    CloseCompare();
    StatusLine->clear();
}

bool TMainForm::RunProjectDialog() {
    TNewDialog* d = dialogs_.NewDialog;
    if (!d || ui_.runModal(*d) != QDialog::Accepted) return false;
    const int group = d->GroupRGrp->itemIndex();
    if (group >= 0) state_.header.setGroup(static_cast<uint8_t>(group));
    GroupLabel->setText(GroupName(state_.header.Group()));
    return true;
}

// New, a load and Close each start an empty history and end a comparison (projectReplacing):
// what came before is another project. Changes made during their Connect belong to no step.
void TMainForm::NewProject() {
    history().untracked([this] { document().NewProject(); });
    history().clear();
}

bool TMainForm::LoadProject(const QString& path) {
    bool loaded = false;
    history().untracked([&] { loaded = document().LoadProject(path); });
    if (!loaded) return false;
    history().clear();
    rememberRecent(path);
    return true;
}

bool TMainForm::SaveProject() {
    if (!document().SaveProject()) return false;
    history().saved();
    rememberRecent(state_.ProjectFileName);
    return true;
}

void TMainForm::CloseProject() {
    history().untracked([this] { document().CloseProject(); });
    history().clear();
}

// New, Open and Close ask first, before their dialogs: the setup dialog writes its group into
// the header of the project still open.
void TMainForm::FileNewClick() {
    TNewDialog* d = dialogs_.NewDialog;
    if (!d || !LeaveProject()) return;
    d->preset(ProjectAnswers{});
    if (!RunProjectDialog()) return;
    const int generation = document().generation();
    NewProject();
    // Another project opened during the Connect keeps its own header.
    if (document().generation() != generation + 1) return;
    ApplyProjectAnswers(state_.header, d->answers());
    state_.ProjectDir = GroupDir(state_.AppDir, state_.header.Group());
}

void TMainForm::FileOpenClick() {
    if (!LeaveProject()) return;
    const QString path = ui_.openFileName(state_.ProjectDir, kProjectFilter, kProjectFilter);
    if (path.isEmpty()) return;
    OpenProject(path);
}

bool TMainForm::OpenProject(const QString& path) {
    const bool loaded = LoadProject(path);
    if (loaded) GroupLabel->setText(GroupName(state_.header.Group()));
    state_.ProjectDir = GroupDir(state_.AppDir, state_.header.Group());
    return loaded;
}

void TMainForm::FileSaveClick() {
    SaveProject();
}

bool TMainForm::FileSaveAsClick() {
    state_.ProjectDir = GroupDir(state_.AppDir, state_.header.Group());
    const QString path = ui_.saveFileName(state_.ProjectDir, kProjectFilter, kProjectFilter);
    if (path.isEmpty()) return false;
    const QString previous = state_.ProjectFileName;
    state_.ProjectFileName = path;
    if (SaveProject()) return true;
    // The project still belongs to the file it came from (or to none).
    state_.ProjectFileName = previous;
    return false;
}

void TMainForm::FileCloseClick() {
    if (LeaveProject()) CloseProject();
}

void TMainForm::EditProjectClick() {
    TNewDialog* d = dialogs_.NewDialog;
    if (!d) return;
    const ProjectHeader& h = state_.header;
    ProjectAnswers preset;
    preset.name = h.ProjectName();
    preset.description = h.Description();
    preset.group = h.Group();
    preset.metric = h.Metric() != 0;
    d->preset(preset);
    history().record(QStringLiteral("Edit project"), [&] {
        if (RunProjectDialog()) ApplyProjectAnswers(state_.header, d->answers());
    });
}

bool TMainForm::SaveBeforeClose() {
    // "(new)" is a placeholder, not a file name: ask for a real one.
    if (state_.ProjectState == DocState::New) return FileSaveAsClick();
    return SaveProject();
}

}  // namespace varnel
