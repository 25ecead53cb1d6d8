#pragma once

#include "app/kex_main.h"
#include "app/kex_new.h"
#include "app/windows.h"
#include "link/box_link.h"
#include "link/byte_transport.h"
#include "support/scripted_ui.h"

#include <QAction>
#include <QDate>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace varnel::test {

// The day the tests' projects are made and saved on (day 37470).
inline QDate fixedToday() {
    return QDate(2002, 8, 2);
}

// A main window with its dialogs over a scripted user, in a temporary program folder.
struct WindowFixture {
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<AppState> state;
    std::unique_ptr<BoxLink> link;
    ScriptedUi ui;
    std::unique_ptr<TMainForm> form;

    // openableLink: a line to nowhere that opens, so the first activation can run; its waits
    // end soon.
    void make(bool openableLink = false) {
        form.reset();
        dir = std::make_unique<QTemporaryDir>();
        state = std::make_unique<AppState>();
        state->AppDir = dir->filePath(QStringLiteral("prog")) + QLatin1Char('/');
        state->SettingsPath = dir->filePath(QStringLiteral("config/kex.ini"));
        link = openableLink ? std::make_unique<BoxLink>(new InProcessTransport)
                            : std::make_unique<BoxLink>();
        if (openableLink) link->TimeoutMs = 20;
        form = CreateWindows(*state, *link, ui);
        form->document().today = [] { return fixedToday(); };
    }

    QString path(const QString& name) const { return dir->filePath(name); }

    // File > New, answering the setup dialog with fill (its defaults when empty).
    void fileNew(const std::function<void(TNewDialog&)>& fill = {}) {
        ui.expectDialog(QStringLiteral("NewDialog"), [fill](QDialog& d) {
            if (fill) fill(static_cast<TNewDialog&>(d));
            return int(QDialog::Accepted);
        });
        ui.expectError(QStringLiteral("Hardware not found"));
        form->FileNew->trigger();
    }

    // File > Open of a file that reads without error.
    void fileOpen(const QString& file) {
        ui.expectOpenFile(file);
        ui.expectError(QStringLiteral("Hardware not found"));
        ui.expectInformation(file + QStringLiteral(" loaded"));
        form->FileOpen->trigger();
    }

    // File > Save As under file, which succeeds.
    void fileSaveAs(const QString& file) {
        ui.expectSaveFile(file);
        ui.expectInformation(file + QStringLiteral(" saved"));
        form->FileSaveAs->trigger();
    }

    static QByteArray readAll(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool writeAll(const QString& file, const QByteArray& bytes) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
};

}  // namespace varnel::test
