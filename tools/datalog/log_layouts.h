#pragma once

// The model engine's drive written as loggers lay out their text logs: a flasher's CSV with the
// units in brackets, a text log with a title block and rows of aliases and units, a phone app's
// CSV with a mass flow and dashes for missing values, a scan tool's sectioned export, a
// semicolon file with decimal commas and Latin-1 names, a diagnostic tool's three-line header,
// one reading a row, and so on. Each is made up after the public descriptions of such files;
// none is a copy of a real logger's file, and the channel names are the kind the reader's
// channel table holds.

#include "datalog_model.h"

#include <QStringList>

#include <cstdio>

namespace varnel::datalog {

// The names of the layouts, in the order the sample logs are listed.
QStringList LayoutNames();

// The drive of model and shape in the named layout. gramsPerFlow turns the expected meter's flow
// into grams a second (1 / 3.6 for kg/h). False for a layout of no such name or a write error.
bool WriteLayoutLog(std::FILE* out, const EngineModel& model, const LogShape& shape,
                    const QString& layout, double gramsPerFlow);

}  // namespace varnel::datalog
