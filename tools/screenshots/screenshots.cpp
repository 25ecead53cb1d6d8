// Drives the real windows through the first-use walkthrough and saves a PNG of each stage: the
// main window after File > New and a Connect to the box, the same after Monitor, the terminal
// that saw the Connect, the meter editor with a sample meter and with the sample curve fitted by
// Fit Curve, and the match dialog after a match
// when the program has one, then the table tools on the matched table: entries 10 to 20 scaled by
// 5 %, the step undone and redone, three values pasted from the clipboard; then the chart as an
// editor: a point's tooltip, a point dragged, and the table compared with the matched one as it
// was before those steps; then an Update, two table entries changed, Compare with Box and the
// question of Update Changes; and last, with every step since Copy E2P undone, Edit > Correct
// from Log on the sample datalog: its preview with the scatter view, and the table after Apply. Run
// by tools/screenshots.sh under Xvfb against kexbox.
//   varnel-screenshots --port DEVICE --appdir DIR --out DIR
#include "app/app_icon.h"
#include "app/compare_dialog.h"
#include "app/kex_main.h"
#include "app/kex_new.h"
#include "app/qt_ui_services.h"
#include "app/table_value_dialog.h"
#include "app/undo_history.h"
#include "app/windows.h"
#include "base/project_file.h"
#include "base/widgets.h"
#include "correct/correct_dialog.h"
#include "link/box_link.h"
#include "link/kex_comm.h"
#include "match/kex_matd.h"
#include "meter/kex_maed.h"
#include "meter/meter_fit_dialog.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QCommandLineParser>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <vector>

using namespace varnel;

namespace {

void say(const QString& line) {
    std::fprintf(stderr, "screenshots: %s\n", qPrintable(line));
}

// The real dialogs and windows, but no message box: a box would stop the run until someone
// clicks it. Every message is printed; questions are answered Yes; the open dialog returns
// the file the walkthrough asks for.
class WalkthroughUi : public QtUiServices {
  public:
    QStringList messages;
    QString nextOpenFile;

    void error(const QString& text) override { note(QStringLiteral("error"), text); }
    void warning(const QString& text) override { note(QStringLiteral("warning"), text); }
    void information(const QString& text) override { note(QStringLiteral("information"), text); }
    Answer confirm(const QString& text, bool) override {
        note(QStringLiteral("question (Yes)"), text);
        return Answer::Yes;
    }
    Answer warningQuestion(const QString& text) override { return confirm(text, false); }
    QString openFileName(const QString&, const QString&, const QString&) override {
        return std::exchange(nextOpenFile, QString());
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }

  private:
    void note(const QString& kind, const QString& text) {
        messages.append(text);
        say(kind + QStringLiteral(": ") + text);
    }
};

// One stage of the walkthrough: when ready() holds, act() runs from the event loop of its own,
// so an act that opens a modal dialog does not stop the stages that work inside it.
struct Stage {
    QString what;
    std::function<bool()> ready;
    std::function<void()> act;
    int timeoutMs = 20000;
};

class Walkthrough : public QObject {
  public:
    explicit Walkthrough(std::vector<Stage> stages) : stages_(std::move(stages)) {}

    void start() {
        clock_.start();
        QTimer::singleShot(100, this, [this] { poll(); });
    }
    int failures = 0;

  private:
    void poll() {
        if (next_ >= stages_.size()) {
            QApplication::exit(failures == 0 ? 0 : 1);
            return;
        }
        Stage& s = stages_[next_];
        if (s.ready()) {
            ++next_;
            clock_.restart();
            QTimer::singleShot(0, this, s.act);
        } else if (clock_.elapsed() > s.timeoutMs) {
            say(QStringLiteral("gave up waiting: ") + s.what);
            ++failures;
            QApplication::exit(1);
            return;
        }
        QTimer::singleShot(100, this, [this] { poll(); });
    }

    std::vector<Stage> stages_;
    size_t next_ = 0;
    QElapsedTimer clock_;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("varnel"));
    QApplication::setWindowIcon(AppIcon());

    QCommandLineParser parser;
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Box device."),
                                        QStringLiteral("DEVICE"));
    const QCommandLineOption appDirOption(QStringLiteral("appdir"),
                                          QStringLiteral("Program folder with the group folders."),
                                          QStringLiteral("DIR"));
    const QCommandLineOption outOption(
        QStringLiteral("out"), QStringLiteral("Folder for the PNGs."), QStringLiteral("DIR"));
    parser.addOptions({portOption, appDirOption, outOption});
    parser.addHelpOption();
    parser.process(app);
    if (!parser.isSet(portOption) || !parser.isSet(appDirOption) || !parser.isSet(outOption)) {
        say(QStringLiteral("usage: varnel-screenshots --port DEVICE --appdir DIR --out DIR"));
        return 2;
    }
    const QDir out(parser.value(outOption));

    AppState state;
    state.AppDir = QDir(parser.value(appDirOption)).absolutePath() + QLatin1Char('/');
    state.ProjectDir = state.AppDir;
    state.SettingsPath = state.AppDir + QStringLiteral("kex.ini");
    BoxLink link;
    link.PortOverride = parser.value(portOption);
    WalkthroughUi ui;
    std::unique_ptr<TMainForm> form = CreateWindows(state, link, ui);
    TMainForm& main = *form;
    const Dialogs& d = main.dialogs();

    int saved = 0;
    auto shoot = [&](QWidget* w, const QString& name) {
        const QString path = out.filePath(name);
        if (w->grab().save(path)) {
            say(QStringLiteral("saved ") + path);
            ++saved;
        } else {
            say(QStringLiteral("could not save ") + path);
        }
    };
    auto modalIs = [](QWidget* w) { return w && QApplication::activeModalWidget() == w; };
    auto noModal = [] { return QApplication::activeModalWidget() == nullptr; };
    auto compareDialog = [] {
        auto* d = qobject_cast<TCompareDialog*>(QApplication::activeModalWidget());
        return d && d->isVisible() ? d : nullptr;
    };
    // Lets the windows paint what the last step changed before they are grabbed.
    QElapsedTimer settle;
    auto after = [&settle](int ms) {
        return [&settle, ms] { return settle.isValid() && settle.elapsed() >= ms; };
    };
    auto mark = [&settle] { settle.restart(); };
    // The main window with whatever menu or tooltip is open over it: each is a window of its own.
    auto shootScreen = [&](const QString& name) {
        QRect frame = main.frameGeometry().united(
            QApplication::activePopupWidget() ? QApplication::activePopupWidget()->geometry()
                                              : QRect());
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("QTipLabel")) frame = frame.united(w->geometry());
        const QString path = out.filePath(name);
        if (QApplication::primaryScreen()
                ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                .save(path)) {
            say(QStringLiteral("saved ") + path);
            ++saved;
        }
    };
    // The words of entries 10 to 20, to check each step by its numbers as well as its picture.
    auto words = [&](const QString& step) {
        QStringList w;
        for (int i = 9; i <= 21; ++i) w << QString::number(state.image.entry(i));
        say(step + QStringLiteral(": entries 9..21 = ") + w.join(QLatin1Char(' ')) +
            QStringLiteral(", undo: ") + main.EditUndo->text() + QStringLiteral(", modified: ") +
            (state.Modified ? QStringLiteral("yes") : QStringLiteral("no")));
    };
    bool matchShown = false;
    QElapsedTimer matchAsked;
    const QString reference = state.AppDir + QStringLiteral("Ford/matched.KEX");
    // Where point i of the table curve lies in the chart's viewport.
    auto pointOf = [&](int i) {
        return main.Chart1->mapFromScene(
            main.Chart1->chart()->mapToPosition(main.Series1->at(i), main.Series1));
    };
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QWidget* view = main.Chart1->viewport();
        QMouseEvent e(type, at, view->mapToGlobal(at),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(view, &e);
    };

    std::vector<Stage> stages = {
        // The terminal opens first: its first showing clears its screen, and it is to keep
        // the Connect that File > New runs.
        {"the main window's first activation", [&] { return main.activated(); },
         [&] {
             main.BoxTerminalClick();
             mark();
         }},
        {"the terminal to show", [&] { return d.CommForm->activated() || after(1500)(); },
         [&] { main.FileNew->trigger(); }},
        {"the project setup dialog", [&] { return modalIs(d.NewDialog); },
         [&] { d.NewDialog->OKBtn->click(); }},
        {"the Connect after File > New", [&] { return state.Connected && noModal(); },
         [&] {
             main.raise();
             main.activateWindow();
             mark();
         }},
        {"the main window to paint", after(800),
         [&] {
             shoot(&main, QStringLiteral("main-window.png"));
             shoot(d.CommForm, QStringLiteral("terminal.png"));
             d.CommForm->hide();
             main.AbortBtn->click();  // Monitor
         }},
        {"the monitored curve", [&] { return main.Series2->count() > 0 && noModal(); },
         [&] { mark(); }},
        {"the curve to paint", after(800),
         [&] {
             shoot(&main, QStringLiteral("monitor.png"));
             main.EditMeter->trigger();
         }},
        {"the meter editor", [&] { return modalIs(d.MassAirEditorDialog); },
         [&] {
             ui.nextOpenFile = state.ProjectDir + QStringLiteral("sample-v1.maf");
             d.MassAirEditorDialog->OpenButton->click();
         }},
        {"the sample meter in the editor",
         [&] { return !d.MassAirEditorDialog->MeterFileName.isEmpty(); }, [&] { mark(); }},
        {"the editor to paint", after(800),
         [&] {
             shoot(d.MassAirEditorDialog, QStringLiteral("meter-editor.png"));
             ui.nextOpenFile = state.AppDir + QStringLiteral("sample-curve.txt");
             d.MassAirEditorDialog->FitCurveButton->click();
         }},
        {"Fit Curve's options", [&] { return modalIs(d.MassAirEditorDialog->FitDialog); },
         [&] {
             d.MassAirEditorDialog->FitDialog->CurveUnitCombo->setCurrentText(
                 QStringLiteral("g/s"));
             d.MassAirEditorDialog->FitDialog->accept();
             mark();
         }},
        {"the fitted meter to paint",
         [&] { return modalIs(d.MassAirEditorDialog) && after(800)(); },
         [&] {
             shoot(d.MassAirEditorDialog, QStringLiteral("meter-fit.png"));
             // Unsaved: the save question is answered Yes and the save dialog cancelled.
             d.MassAirEditorDialog->CloseButton->click();
         }},
        {"the meter editor to close", noModal,
         [&] {
             matchAsked.start();
             main.EditMatch->trigger();
         }},
        // Until the match dialog is built, Edit > Match opens nothing: that stage is skipped.
        {"Edit > Match",
         [&] {
             matchShown = modalIs(d.MatchDialog);
             return matchShown || (matchAsked.isValid() && matchAsked.elapsed() > 3000);
         },
         [&] {
             auto* use = d.MatchDialog->findChild<QComboBox*>(QStringLiteral("MeterUseCombo"));
             auto* match = d.MatchDialog->findChild<QComboBox*>(QStringLiteral("MeterMatchCombo"));
             auto* matchBtn = d.MatchDialog->findChild<QPushButton*>(QStringLiteral("MatchBtn"));
             if (!matchShown || !use || !match || !matchBtn) {
                 say(QStringLiteral("no match dialog yet: match-dialog.png skipped"));
                 matchShown = false;
                 if (QApplication::activeModalWidget()) d.MatchDialog->reject();
                 mark();
                 return;
             }
             use->setCurrentIndex(
                 use->findText(QStringLiteral("sample-v1.maf"), Qt::MatchFixedString));
             match->setCurrentIndex(
                 match->findText(QStringLiteral("sample-v2.maf"), Qt::MatchFixedString));
             matchBtn->click();
             mark();
         }},
        {"the match to paint", after(800),
         [&] {
             if (!matchShown) return mark();
             shoot(d.MatchDialog, QStringLiteral("match-dialog.png"));
             if (auto* copy = d.MatchDialog->findChild<QPushButton*>(QStringLiteral("CopyE2PBtn")))
                 copy->click();
             d.MatchDialog->accept();
             mark();
         }},
        {"the copied table to paint", [&] { return noModal() && after(800)(); },
         [&] {
             if (matchShown) shoot(&main, QStringLiteral("main-window-matched.png"));
             // The matched table as it is now: the reference of the comparison at the end.
             QString error;
             if (WriteProjectFile(reference, state.header, state.image, error) != SaveStatus::Saved)
                 say(QStringLiteral("could not write the reference: ") + error);
             words(QStringLiteral("before"));
             main.selectEntries(10, 20);
             main.TableScale->trigger();
         }},
        {"the Scale dialog", [&] { return modalIs(main.tableValueDialog()); },
         [&] {
             main.tableValueDialog()->ValueEdit->setText(QStringLiteral("5"));
             mark();
         }},
        {"the Scale dialog to paint", after(500),
         [&] {
             shoot(main.tableValueDialog(), QStringLiteral("table-scale-dialog.png"));
             main.tableValueDialog()->OKBtn->click();
         }},
        {"the scaled table", [&] { return noModal(); },
         [&] {
             words(QStringLiteral("scaled"));
             main.EditMenu->popup(main.mapToGlobal(
                 main.menuBar()->actionGeometry(main.EditMenu->menuAction()).bottomLeft()));
             mark();
         }},
        {"the Edit menu to paint", after(800),
         [&] {
             shootScreen(QStringLiteral("table-scaled.png"));
             main.EditMenu->close();
             main.EditUndo->trigger();
             words(QStringLiteral("undone"));
             mark();
         }},
        {"the undone table to paint", after(800),
         [&] {
             shoot(&main, QStringLiteral("table-undone.png"));
             main.EditRedo->trigger();
             words(QStringLiteral("redone"));
             mark();
         }},
        {"the redone table to paint", after(800),
         [&] {
             shoot(&main, QStringLiteral("table-redone.png"));
             QGuiApplication::clipboard()->setText(QStringLiteral("2.000\n2.250\n2.500\n"));
             main.selectEntries(10, 12);
             main.EditPaste->trigger();
             words(QStringLiteral("pasted"));
             mark();
         }},
        {"the pasted table to paint", after(800),
         [&] {
             shoot(&main, QStringLiteral("table-pasted.png"));
             // The pointer comes to rest just beside point 13 of the table curve.
             QWidget* view = main.Chart1->viewport();
             const QPoint at = pointOf(13) + QPoint(2, -3);
             QCursor::setPos(view->mapToGlobal(at));
             QMouseEvent move(QEvent::MouseMove, at, view->mapToGlobal(at), Qt::NoButton,
                              Qt::NoButton, Qt::NoModifier);
             QApplication::sendEvent(view, &move);
             QHelpEvent tip(QEvent::ToolTip, at, view->mapToGlobal(at));
             QApplication::sendEvent(view, &tip);
             say(QStringLiteral("tooltip: ") + main.ChartTipAt(at));
             mark();
         }},
        {"the tooltip to paint", after(800),
         [&] {
             shootScreen(QStringLiteral("chart-hover.png"));
             // Point 16 pressed and pulled 40 pixels down, held there.
             QWidget* view = main.Chart1->viewport();
             const QPoint from = pointOf(16);
             const QPoint to = from + QPoint(0, 40);
             mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
             mouse(QEvent::MouseMove, from + QPoint(0, 20), Qt::LeftButton);
             mouse(QEvent::MouseMove, to, Qt::LeftButton);
             QCursor::setPos(view->mapToGlobal(to));
             words(QStringLiteral("dragging"));
             mark();
         }},
        {"the drag to paint", after(800),
         [&] {
             shootScreen(QStringLiteral("chart-drag.png"));
             mouse(QEvent::MouseButtonRelease, pointOf(16), Qt::NoButton);
             words(QStringLiteral("dragged"));
             ui.nextOpenFile = reference;
             main.FileCompare->trigger();
             mark();
         }},
        {"the reference to paint", after(800),
         [&] {
             say(QStringLiteral("compared: ") + main.ReferenceLabel->text() +
                 QStringLiteral(", diff of entry 16: ") + main.TableGrid->shownText(2, 17));
             shoot(&main, QStringLiteral("compare.png"));
             main.CloseCompare();
             main.BoxUpdate->trigger();
         }},
        // The box now holds the project; two entries change, and the box is compared.
        {"the Update", [&] { return !main.transferRunning() && noModal(); },
         [&] {
             main.TableGridSetEditText(1, 6, QStringLiteral("2.5"));
             main.TableGridSetEditText(1, 21, QStringLiteral("4.1"));
             main.BoxCompare->trigger();
         }},
        {"the comparison", [&] { return compareDialog() != nullptr; }, [&] { mark(); }},
        {"the comparison to paint", after(800),
         [&] {
             shoot(compareDialog(), QStringLiteral("compare-dialog.png"));
             compareDialog()->CloseBtn->click();
         }},
        {"the comparison to close", [&] { return noModal() && !main.transferRunning(); },
         [&] { main.BoxUpdateChanges->trigger(); }},
        {"the question of Update Changes", [&] { return compareDialog() != nullptr; },
         [&] { mark(); }},
        {"the question to paint", after(800),
         [&] {
             shoot(compareDialog(), QStringLiteral("update-changes-question.png"));
             compareDialog()->YesBtn->click();
         }},
        {"the changes written", [&] { return noModal() && !main.transferRunning(); },
         [&] { mark(); }},
        {"the window after the changes", after(800),
         [&] {
             // The sample log was made on the matched table: every step since Copy E2P goes.
             QUndoStack& steps = main.history().stack();
             while (steps.canUndo() && steps.undoText() != QLatin1String("Copy E2P")) steps.undo();
             words(QStringLiteral("matched again"));
             main.EditCorrect->trigger();
         }},
        {"the correct dialog", [&] { return modalIs(main.correctDialog()); },
         [&] {
             TCorrectDialog* c = main.correctDialog();
             c->openLog(state.ProjectDir + QStringLiteral("sample-log.csv"));
             c->FilterCombos[0]->setCurrentText(QStringLiteral("ECT C"));
             c->FilterMinEdits[0]->setText(QStringLiteral("70"));
             c->FilterMaxEdits[0]->setText(QStringLiteral("120"));
             c->ComputeBtn->click();
         }},
        {"the correction", [&] { return !main.correctDialog()->computing(); },
         [&] {
             if (main.correctDialog()->report())
                 say(main.correctDialog()->CountsLabel->text().replace('\n', ' '));
             mark();
         }},
        {"the preview to paint", after(800),
         [&] {
             shoot(main.correctDialog(), QStringLiteral("correct-dialog.png"));
             shoot(main.correctDialog()->ScatterChart, QStringLiteral("correct-scatter.png"));
             main.correctDialog()->ApplyBtn->click();
             words(QStringLiteral("corrected"));
             mark();
         }},
        {"the corrected table to paint", [&] { return noModal() && after(800)(); },
         [&] { shoot(&main, QStringLiteral("main-window-corrected.png")); }},
    };
    Walkthrough walk(std::move(stages));
    main.show();
    walk.start();
    const int code = QApplication::exec();
    say(QStringLiteral("%1 screenshots").arg(saved));
    // No exit dialogue: the demo project is not to be saved.
    form.reset();
    return code;
}
