#pragma once

#include "meter/meter_file.h"

#include <QList>
#include <QPair>
#include <QString>

#include <array>

namespace varnel::test {

using MeterTextRows = QList<QPair<QString, QString>>;  // (signal text, flow text)

// A meter record as the editor would save it: the texts and their singles.
inline TMeterRecord meterRecord(bool metric, bool frequency, const MeterTextRows& rows) {
    TMeterRecord r;
    r.setMetric(metric ? 1 : 0);
    r.setFrequency(frequency ? 1 : 0);
    r.setPartNumber(QStringLiteral("TEST"));
    int k = 0;
    for (const auto& [signal, flow] : rows) {
        ++k;
        r.setSignalText(k, signal);
        r.setSignalValue(k, signal.toFloat());
        r.setFlowText(k, flow);
        r.setFlowValue(k, flow.toFloat());
    }
    r.setPointCount(static_cast<int16_t>(k));
    return r;
}

inline bool writeMeter(const QString& path, bool metric, bool frequency,
                       const MeterTextRows& rows) {
    QString error;
    return WriteMeterFile(path, meterRecord(metric, frequency, rows), error);
}

// The pair of meters whose match is worked through by hand: both voltage and pounds.
inline MeterTextRows workedUseRows() {
    return {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "600"}};
}
inline MeterTextRows workedMatchRows() {
    return {{"0.00", "0"}, {"2.50", "300"}, {"5.00", "600"}};
}

// The 32 table words a copy of that match writes.
inline std::array<int, 32> workedTable() {
    return {0,   32,  64,  97,  129, 160, 193, 225, 258, 290, 322, 355, 387, 420, 452, 483,
            516, 548, 580, 613, 645, 678, 709, 741, 774, 806, 838, 871, 902, 934, 967, 999};
}

}  // namespace varnel::test
