#include "windows.h"

#include "app/kex_abot.h"
#include "app/kex_new.h"
#include "link/kex_comm.h"
#include "link/kex_lrnd.h"
#include "link/kex_setp.h"
#include "match/kex_matd.h"
#include "meter/kex_maed.h"

#include <QAction>

namespace varnel {

std::unique_ptr<TMainForm> CreateWindows(AppState& state, BoxLink& link, UiServices& ui) {
    auto main = std::make_unique<TMainForm>(state, link, ui);
    Dialogs d;
    d.LearnDialog = new TLearnDialog(state, ui, main.get());
    d.MatchDialog = new TMatchDialog(state, ui, main.get());
    d.CommForm = new TCommForm(link, main.get());
    d.SetupDialog = new TSetupDialog(main.get());
    d.NewDialog = new TNewDialog(ui, main.get());
    d.AboutDialog = new TAboutDialog(main.get());
    d.MassAirEditorDialog = new TMassAirEditorDialog(state, ui, main.get());
    main->setDialogs(d);
    QObject::connect(main->EditMeter, &QAction::triggered, main.get(), &TMainForm::EditMeterClick);
    main->wireMatch();
    return main;
}

}  // namespace varnel
