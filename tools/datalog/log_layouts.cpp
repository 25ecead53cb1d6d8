#include "log_layouts.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace varnel::datalog {

namespace {

enum class Kind {
    TimeS,
    TimeMs,
    Clock,
    Rpm,
    Volts,
    Hertz,
    MassGs,
    MassKgh,
    Cfm,
    StftPct,
    LtftPct,
    StftFactor,
    LtftFactor,
    CoolantC,
    CoolantF,
    Throttle,
    LoopNumber,
    LoopText,
    Afr,
    AfrAsLambda,
    AfrTarget,
    Lambda,
    LambdaTarget,
    EquivalenceAsAfr,
    Missing,
    Empty,
};

struct Column {
    Kind kind;
    const char* name;
    const char* unit = "";
    const char* extra = "";  // the alias or group above the name, where the layout has one
    int every = 1;           // one reading a row: written every n-th row only
};

enum class Header {
    Names,
    NamesUnits,
    NamesAliasesUnits,
    IdsNamesUnits,
    GroupsNamesUnits,
    Readings
};

struct Layout {
    const char* name = "";
    char sep = ',';
    char decimal = '.';
    bool latin1 = false;
    bool bom = false;
    bool crlf = false;
    bool spaced = false;      // ", " between fields
    bool trailing = false;    // a separator after the last field
    const char* before = "";  // lines before the names
    Header header = Header::Names;
    const char* between = "";  // lines between the names and the first row
    std::vector<Column> columns;
    int missingEvery = 0;  // every n-th row the short-term trim is missing
    const char* missing = "";
    int blankEvery = 0;    // a blank line after every n-th row
    bool cutLast = false;  // the last row stops half-way, without a line end
    // Open loop under load above this input (volts; 0: only in the warm-up).
    double openAbove = 0;
};

std::vector<Layout> layouts() {
    std::vector<Layout> l;
    {
        Layout a;
        a.name = "flasher.csv";
        a.columns = {{Kind::TimeS, "Time (sec)"},
                     {Kind::Rpm, "Engine Speed (rpm)"},
                     {Kind::Volts, "Mass Airflow Sensor Voltage (V)"},
                     {Kind::StftPct, "A/F Correction #1 (%)"},
                     {Kind::LtftPct, "A/F Learning #1 (%)"},
                     {Kind::CoolantC, "Coolant Temperature (C)"},
                     {Kind::Throttle, "Throttle Opening Angle (%)"},
                     {Kind::Afr, "A/F Sensor #1 (AFR)"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "vag-logger.txt";
        a.spaced = true;
        a.before =
            "Text log of a made-up VAG-style logger, written by Varnel's tools/datalog\n"
            "Log started at: 2024-02-01 10:11:12\n"
            "Sample rate: 20 Hz\n"
            "\n"
            "Variables:\n"
            "  nmot     engine speed\n"
            "  uhfm_w   MAF voltage\n"
            "  fr_w     lambda control factor\n"
            "  fra_w    mixture adaptation factor\n"
            "\n";
        a.header = Header::NamesAliasesUnits;
        a.columns = {{Kind::TimeS, "TimeStamp", "s", "TimeStamp"},
                     {Kind::Rpm, "nmot", "1/min", "EngineSpeed"},
                     {Kind::Volts, "uhfm_w", "V", "MAFVoltage"},
                     {Kind::StftFactor, "fr_w", "-", "LambdaControl"},
                     {Kind::LtftFactor, "fra_w", "-", "MixtureAdaptation"},
                     {Kind::CoolantC, "tmot", "°C", "CoolantTemp"},
                     {Kind::LambdaTarget, "lamsbg_w", "-", "LambdaTarget"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "accessport.csv";
        a.bom = true;
        a.crlf = true;
        a.columns = {{Kind::TimeS, "Time (sec)"},
                     {Kind::StftPct, "AF Correction 1 (%)"},
                     {Kind::LtftPct, "AF Learning 1 (%)"},
                     {Kind::Volts, "MAF Voltage (V)"},
                     {Kind::Rpm, "RPM (RPM)"},
                     {Kind::CoolantF, "Coolant Temp (F)"},
                     {Kind::Throttle, "Throttle Pos (%)"},
                     {Kind::AfrTarget, "Comm Fuel Final (AFR)"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "obd-phone.csv";
        a.spaced = true;
        a.columns = {{Kind::Missing, "GPS Time"},
                     {Kind::Clock, "Device Time"},
                     {Kind::Missing, "Longitude"},
                     {Kind::Missing, "Latitude"},
                     {Kind::Rpm, "Engine RPM(rpm)"},
                     {Kind::MassGs, "Mass Air Flow Rate(g/s)"},
                     {Kind::StftPct, "Fuel Trim Bank 1 Short Term(%)"},
                     {Kind::LtftPct, "Fuel Trim Bank 1 Long Term(%)"},
                     {Kind::CoolantC, "Engine Coolant Temperature(°C)"},
                     {Kind::Cfm, "Volumetric Air Flow(cfm)"}};
        a.missingEvery = 9;
        a.missing = "-";
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "gm-scan.csv";
        a.before =
            "Made-up scan tool CSV export, format 1 (Varnel's tools/datalog)\n"
            "\n"
            "[Log Information]\n"
            "Created: 2024-02-01 10:11:12\n"
            "Vehicle: sample, no real car\n"
            "\n"
            "[Channel Information]\n";
        a.header = Header::IdsNamesUnits;
        a.between = "\n[Channel Data]\n";
        a.columns = {{Kind::TimeS, "Offset", "s"},
                     {Kind::Rpm, "Engine RPM", "rpm"},
                     {Kind::Hertz, "MAF Airflow Frequency", "Hz"},
                     {Kind::MassGs, "Mass Airflow", "g/s"},
                     {Kind::StftPct, "Short Term Fuel Trim Bank 1", "%"},
                     {Kind::LtftPct, "Long Term Fuel Trim Bank 1", "%"},
                     {Kind::LoopText, "Fuel System #1 Status", ""},
                     {Kind::CoolantC, "Engine Coolant Temp", "°C"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "bmw-tool.csv";
        a.columns = {{Kind::TimeMs, "Time[ms]"},
                     {Kind::Rpm, "RPM[1/min]"},
                     {Kind::MassKgh, "Air mass[kg/h]"},
                     {Kind::StftPct, "STFT B1[%]"},
                     {Kind::LtftPct, "LTFT B1[%]"},
                     {Kind::Lambda, "Lambda B1[-]"},
                     {Kind::LambdaTarget, "Lambda target B1[-]"},
                     {Kind::CoolantC, "Coolant[°C]"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "german-diag.csv";
        a.sep = ';';
        a.decimal = ',';
        a.latin1 = true;
        a.crlf = true;
        a.header = Header::NamesUnits;
        a.columns = {{Kind::TimeS, "Zeit", "s"},
                     {Kind::Rpm, "Motordrehzahl", "1/min"},
                     {Kind::Volts, "Luftmassenmesser Spannung", "V"},
                     {Kind::StftPct, "Kurzzeit-Gemischadaption Bank 1", "%"},
                     {Kind::LtftPct, "Langzeit-Gemischadaption Bank 1", "%"},
                     {Kind::CoolantC, "Kühlmitteltemperatur", "°C"},
                     {Kind::Throttle, "Drosselklappenwinkel", "°"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "decimal-comma.csv";
        a.sep = ';';
        a.decimal = ',';
        a.trailing = true;
        a.blankEvery = 13;
        a.cutLast = true;
        a.missingEvery = 11;
        a.missing = "NaN";
        a.columns = {{Kind::TimeMs, "Time (msec)"},
                     {Kind::Rpm, "Engine Speed (rpm)"},
                     {Kind::MassGs, "Mass Airflow (g/s)"},
                     {Kind::Volts, "Mass Airflow Sensor Voltage (V)"},
                     {Kind::StftPct, "A/F Correction #1 (%)"},
                     {Kind::LtftPct, "A/F Learning #1 (%)"},
                     {Kind::CoolantC, "Coolant Temperature (C)"}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "diag-groups.csv";
        a.before = "Made-up diagnostic tool log,2024-02-01 10:11:12\n";
        a.header = Header::GroupsNamesUnits;
        a.columns = {{Kind::Empty, "Marker", "", ""},
                     {Kind::TimeS, "TIME", "STAMP", "Group 002"},
                     {Kind::Rpm, "Engine speed", "/min", ""},
                     {Kind::MassGs, "Air mass", "g/s", ""},
                     {Kind::TimeS, "TIME", "STAMP", "Group 032"},
                     {Kind::StftPct, "Lambda control", "%", ""},
                     {Kind::LtftPct, "Lambda adaptation", "%", ""}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "narrow.csv";
        a.sep = ';';
        a.header = Header::Readings;
        a.columns = {{Kind::TimeS, "Time"},
                     {Kind::Rpm, "Engine speed", "rpm"},
                     {Kind::Volts, "MAF voltage", "V"},
                     {Kind::StftPct, "STFT", "%"},
                     {Kind::LtftPct, "LTFT", "%"},
                     {Kind::CoolantC, "Coolant", "°C", "", 5}};
        l.push_back(a);
    }
    {
        Layout a;
        a.name = "wideband.tsv";
        a.sep = '\t';
        a.missingEvery = 7;
        a.missing = "NaN";
        a.columns = {{Kind::TimeMs, "Time"},
                     {Kind::Rpm, "RPM"},
                     {Kind::Volts, "MAF"},
                     {Kind::StftPct, "STFT"},
                     {Kind::LtftPct, "LTFT"},
                     {Kind::AfrAsLambda, "AFR"},
                     {Kind::AfrTarget, "Target AFR"},
                     {Kind::EquivalenceAsAfr, "Equivalence Ratio"},
                     {Kind::LoopNumber, "Loop"}};
        a.openAbove = 3.6;
        l.push_back(a);
    }
    return l;
}

void put(std::string& line, double v, int decimals, char decimal) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    for (char* c = buf; c != r.ptr; ++c)
        if (*c == '.') *c = decimal;
    line.append(buf, r.ptr);
}

// One row's readings, from the model as WriteLog takes them.
struct Row {
    long index = 0;
    bool warm = false;
    bool load = false;  // open loop under load
    double x = 0;
    double out = 0;
    double grams = 0;
    double stft = 0;
    double ltft = 0;
    double rpm = 0;
    double coolant = 0;
    double throttle = 0;
    double afr = 0;
    double target = 0;
};

std::string text(const Row& r, const Column& c, const Layout& l) {
    std::string s;
    const char d = l.decimal;
    switch (c.kind) {
        case Kind::TimeS:
            put(s, double(r.index) / 20, 3, d);
            break;
        case Kind::TimeMs:
            put(s, double(r.index) * 50, 0, d);
            break;
        case Kind::Clock: {
            char buf[32];
            const long ms = 12000 + r.index * 50;
            std::snprintf(buf, sizeof buf, "10:11:%02ld.%03ld", ms / 1000 % 60, ms % 1000);
            s = buf;
            break;
        }
        case Kind::Rpm:
            put(s, r.rpm, 0, d);
            break;
        case Kind::Volts:
            put(s, r.out, 3, d);
            break;
        case Kind::Hertz:
            put(s, 1500 + 1700 * r.out, 0, d);
            break;
        case Kind::MassGs:
            put(s, r.grams, 2, d);
            break;
        case Kind::MassKgh:
            put(s, r.grams * 3.6, 2, d);
            break;
        case Kind::Cfm:
            put(s, r.grams / 1000 / 1.2 * 35.3147 * 60, 1, d);
            break;
        case Kind::StftPct:
            put(s, r.stft, 1, d);
            break;
        case Kind::LtftPct:
            put(s, r.ltft, 1, d);
            break;
        case Kind::StftFactor:
            put(s, 1 + r.stft / 100, 4, d);
            break;
        case Kind::LtftFactor:
            put(s, 1 + r.ltft / 100, 4, d);
            break;
        case Kind::CoolantC:
            put(s, r.coolant, 0, d);
            break;
        case Kind::CoolantF:
            put(s, r.coolant * 9 / 5 + 32, 0, d);
            break;
        case Kind::Throttle:
            put(s, r.throttle, 1, d);
            break;
        case Kind::LoopNumber:
            // OBD-II: 1 open loop while cold, 4 open loop under load, 2 closed loop.
            s = r.warm ? "1" : r.load ? "4" : "2";
            break;
        case Kind::LoopText:
            s = r.warm || r.load ? "OL Drive" : "CL - Normal";
            break;
        case Kind::Afr:
        case Kind::EquivalenceAsAfr:
            put(s, r.afr, 2, d);
            break;
        case Kind::AfrAsLambda:
        case Kind::Lambda:
            put(s, r.afr / 14.7, 3, d);
            break;
        case Kind::AfrTarget:
            put(s, r.target, 1, d);
            break;
        case Kind::LambdaTarget:
            put(s, r.target / 14.7, 3, d);
            break;
        case Kind::Missing:
            s = l.missing;
            break;
        case Kind::Empty:
            break;
    }
    return s;
}

std::string field(const std::string& value, char sep) {
    if (value.find(sep) == std::string::npos && value.find('"') == std::string::npos) return value;
    std::string q = "\"";
    for (const char c : value) {
        q += c;
        if (c == '"') q += '"';
    }
    return q + '"';
}

std::string joined(const std::vector<std::string>& values, const Layout& l) {
    std::string line;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            line += l.sep;
            if (l.spaced) line += ' ';
        }
        line += field(values[i], l.sep);
    }
    if (l.trailing) line += l.sep;
    return line + (l.crlf ? "\r\n" : "\n");
}

std::string headerBlock(const Layout& l) {
    std::vector<std::string> names;
    std::vector<std::string> units;
    std::vector<std::string> extras;
    std::vector<std::string> ids;
    for (size_t k = 0; k < l.columns.size(); ++k) {
        names.push_back(l.columns[k].name);
        units.push_back(l.columns[k].unit);
        extras.push_back(l.columns[k].extra);
        ids.push_back(std::to_string(1000 + 37 * k));
    }
    std::string block = l.before;
    switch (l.header) {
        case Header::Names:
            block += joined(names, l);
            break;
        case Header::NamesUnits:
            block += joined(names, l) + joined(units, l);
            break;
        case Header::NamesAliasesUnits:
            block += joined(names, l) + joined(extras, l) + joined(units, l);
            break;
        case Header::IdsNamesUnits:
            block += joined(ids, l) + joined(names, l) + joined(units, l);
            break;
        case Header::GroupsNamesUnits:
            block += joined(extras, l) + joined(names, l) + joined(units, l);
            break;
        case Header::Readings:
            block += joined({"Time", "Channel", "Value", "Unit"}, l);
            break;
    }
    block += l.between;
    if (l.latin1) {
        const QByteArray bytes =
            QString::fromUtf8(block.data(), qsizetype(block.size())).toLatin1();
        block.assign(bytes.constData(), size_t(bytes.size()));
    }
    return (l.bom ? std::string("\xEF\xBB\xBF") : std::string()) + block;
}

}  // namespace

QStringList LayoutNames() {
    QStringList names;
    for (const Layout& l : layouts()) names.append(QString::fromLatin1(l.name));
    return names;
}

bool WriteLayoutLog(std::FILE* out, const EngineModel& model, const LogShape& shape,
                    const QString& layout, double gramsPerFlow) {
    const std::vector<Layout> all = layouts();
    const Layout* l = nullptr;
    for (const Layout& each : all)
        if (QString::fromLatin1(each.name) == layout) l = &each;
    if (!l) return false;
    Random random{shape.seed * 0x9E3779B97F4A7C15ULL + 1};
    std::string text = headerBlock(*l);
    const long warm = long(shape.warmUp * double(shape.rows));
    const double span = model.inputHigh - model.inputLow;
    const double learned = l->openAbove > 0 ? std::round(model.trim(l->openAbove) * 10) / 10 : 0;
    for (long i = 0; i < shape.rows; ++i) {
        Row r;
        r.index = i;
        r.x = model.inputLow + random.uniform() * span;
        const double scatter = random.normal() * shape.noise;
        const double heat = random.uniform();
        const double wide = random.normal();
        r.warm = i < warm;
        r.load = !r.warm && l->openAbove > 0 && r.x > l->openAbove;
        r.out = model.output(r.x);
        r.grams = model.expected.flowAt(r.out) * gramsPerFlow;
        // Open loop while the engine is cold: the computer does not trim yet, and runs rich.
        // Under load it keeps the long-term trim it learned and runs richer still.
        r.ltft = r.warm ? 0 : r.load ? learned : model.trim(r.x);
        r.stft = r.warm || r.load ? 0 : scatter;
        r.rpm = 700 + 5500 * (r.x - model.inputLow) / span + 40 * scatter;
        r.coolant = r.warm ? 20 + 45 * double(i) / double(std::max(warm, 1L)) : 85 + 10 * heat;
        r.throttle = 4 + 70 * (r.x - model.inputLow) / span;
        r.target = r.warm ? 13.2 : r.load ? 12.5 : 14.7;
        // In open loop the fuel follows the computer's flow, so the mixture shows the flow's
        // error; in closed loop the trims hold it at the target.
        const double ratio = r.warm || r.load ? model.flowRatio(r.x) / (1 + r.ltft / 100) : 1;
        r.afr = r.target * ratio * (1 + 0.004 * wide);
        const bool gap = l->missingEvery > 0 && (i + 1) % l->missingEvery == 0;
        if (l->header == Header::Readings) {
            const std::string time = ::varnel::datalog::text(r, l->columns.front(), *l);
            for (size_t k = 1; k < l->columns.size(); ++k) {
                const Column& c = l->columns[k];
                if (i % c.every != 0) continue;
                text += joined({time, c.name, ::varnel::datalog::text(r, c, *l), c.unit}, *l);
            }
        } else {
            std::vector<std::string> values;
            for (const Column& c : l->columns)
                values.push_back(gap && c.kind == Kind::StftPct
                                     ? std::string(l->missing)
                                     : ::varnel::datalog::text(r, c, *l));
            if (l->cutLast && i + 1 == shape.rows) {
                values.resize(values.size() / 2);
                std::string line = joined(values, *l);
                while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                    line.pop_back();
                text += line;
            } else {
                text += joined(values, *l);
            }
        }
        if (l->blankEvery > 0 && (i + 1) % l->blankEvery == 0 && i + 1 < shape.rows)
            text += l->crlf ? "\r\n" : "\n";
    }
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) return false;
    return std::fflush(out) == 0;
}

}  // namespace varnel::datalog
